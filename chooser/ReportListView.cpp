#include "ReportListView.h"

#include "RuntimeError.h"

#include <QHeaderView>
#include <QMouseEvent>

ReportListView::ReportListView(QWidget* parent) : QTreeWidget(parent) {
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAllColumnsShowFocus(true);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
    connect(this, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* item) { emit itemClick(item); });
}

QTreeWidgetItem* ReportListView::AddItem(const QString& key, const QString& text) {
    const QString folded = key.toCaseFolded();
    if (keys_.contains(folded)) throw RuntimeError::KeyNotUnique(key);
    auto* item = new QTreeWidgetItem(this, QStringList{text});
    keys_.insert(folded, item);
    return item;
}

void ReportListView::SetSubItem(QTreeWidgetItem* item, int index, const QString& text) {
    if (index < 1 || index >= columnCount()) throw RuntimeError::InvalidSubItemIndex(index);
    item->setText(index, text);
}

QTreeWidgetItem* ReportListView::SelectedItem() const {
    const auto items = selectedItems();
    return items.isEmpty() ? nullptr : items.first();
}

void ReportListView::SetSelected(QTreeWidgetItem* item, bool selected) {
    item->setSelected(selected);
}

void ReportListView::SetColumnWidth(int column, int width) {
    if (width >= 0) {
        setColumnWidth(column, width);
        return;
    }
    // sizeHintForColumn measures the entries only, as LVSCW_AUTOSIZE does.
    int fitted = std::max(sizeHintForColumn(column), 0);
    if (width == kAutoSizeUseHeader) {
        fitted = std::max(fitted, header()->sectionSizeHint(column));
        if (column == columnCount() - 1) {
            int others = 0;
            for (int c = 0; c < column; ++c) others += columnWidth(c);
            fitted = std::max(fitted, viewport()->width() - others);
        }
    }
    setColumnWidth(column, fitted);
}

bool ReportListView::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        emit mouseDown(mouse->button(), mouse->modifiers(), mouse->position().toPoint());
    } else if (event->type() == QEvent::MouseButtonDblClick) {
        bool handled = QTreeWidget::viewportEvent(event);
        emit doubleClick();
        return handled;
    }
    return QTreeWidget::viewportEvent(event);
}
