#include "SortedComboBox.h"

#include "RuntimeError.h"

#include <QLocale>
#include <QSignalBlocker>

SortedComboBox::SortedComboBox(QWidget* parent) : QComboBox(parent), collator_(QLocale()) {
    setEditable(false);
    collator_.setCaseSensitivity(Qt::CaseInsensitive);
}

void SortedComboBox::Clear() {
    clear();
    newIndex_ = -1;
}

void SortedComboBox::AddItem(const QString& text) {
    int index = 0;
    while (index < count() && collator_.compare(itemText(index), text) <= 0) ++index;
    // A combo box selects the first entry added to it; a sorted list box does not,
    // so an empty selection stays empty, without a selection notification.
    const bool noSelection = currentIndex() < 0;
    {
        QSignalBlocker quiet(this);
        insertItem(index, text);
        if (noSelection) setCurrentIndex(-1);
    }
    newIndex_ = index;
}

void SortedComboBox::SetItemData(int index, int32_t value) {
    if (index < 0 || index >= count()) throw RuntimeError::InvalidListIndex(index);
    setItemData(index, QVariant::fromValue(value));
}

int32_t SortedComboBox::ItemData(int index) const {
    if (index < 0 || index >= count()) throw RuntimeError::InvalidListIndex(index);
    return itemData(index).value<int32_t>();
}
