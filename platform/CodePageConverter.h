#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>

struct UConverter;

// One ICU converter for one Windows code page, kept open for many texts.
// Characters that the code page lacks become "?", as Windows substitutes them.
class CodePageConverter {
  public:
    // Fails (RuntimeError) when ICU has no converter for the code page.
    explicit CodePageConverter(int codePage);
    ~CodePageConverter();
    CodePageConverter(const CodePageConverter&) = delete;
    CodePageConverter& operator=(const CodePageConverter&) = delete;

    int Number() const { return codePage_; }
    QByteArray Encode(const QString& text);
    QString Decode(const char* data, size_t size);

    static bool Exists(int codePage);

  private:
    int codePage_;
    UConverter* converter_;
};
