#pragma once

#include <QString>

#include <cstdint>

// The list that shows a project's languages, through the four operations the
// language list fill uses. The list may sort its entries: NewIndex tells where
// the entry added last landed.
class LanguageList {
  public:
    virtual ~LanguageList() = default;
    virtual void Clear() = 0;
    virtual void AddItem(const QString& text) = 0;
    virtual int NewIndex() const = 0;
    virtual void SetItemData(int index, int32_t value) = 0;
};
