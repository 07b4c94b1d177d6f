#pragma once

#include "LanguageList.h"

#include <QCollator>
#include <QComboBox>
#include <cstdint>

// A drop-down list without free text that keeps its entries sorted by their text,
// as a sorted Windows combo box does: case-insensitive, in the user's locale.
// It offers the list operations the language list is filled through.
class SortedComboBox : public QComboBox, public LanguageList {
    Q_OBJECT
  public:
    explicit SortedComboBox(QWidget* parent = nullptr);

    void Clear() override;
    // Adds an entry at its sorted place; NewIndex() then tells where it landed.
    void AddItem(const QString& text) override;
    int NewIndex() const override { return newIndex_; }
    // The item data of an entry, a 32-bit integer; fails with RuntimeError 5 for a bad index.
    void SetItemData(int index, int32_t value) override;
    int32_t ItemData(int index) const;

  private:
    QCollator collator_;
    int newIndex_ = -1;
};
