#pragma once

#include "LanguageList.h"

#include <vector>

// A language list without a window: the entries in the order they were added,
// for front ends that print the languages instead of showing them.
class LanguageEntries : public LanguageList {
  public:
    struct Entry {
        QString text;
        int32_t lcid = 0;
    };

    void Clear() override { entries_.clear(); }
    void AddItem(const QString& text) override { entries_.push_back({text, 0}); }
    int NewIndex() const override { return static_cast<int>(entries_.size()) - 1; }
    void SetItemData(int index, int32_t value) override {
        entries_.at(static_cast<size_t>(index)).lcid = value;
    }

    const std::vector<Entry>& Entries() const { return entries_; }

  private:
    std::vector<Entry> entries_;
};
