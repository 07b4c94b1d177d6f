#pragma once

#include <QByteArray>
#include <QString>
#include <variant>

// A cell or column value as the engine hands it out: Null, a number, a text or a boolean.
// A text is kept as a QString, or in UTF-8 as a reader found it (see Utf8()): the
// import writes UTF-8, and making each text into UTF-16 and back would cost it
// more than reading the text did.
class Variant {
  public:
    Variant() = default;
    Variant(double number) : value_(number) {}
    Variant(QString text) : value_(std::move(text)) {}
    Variant(const char* text) : value_(QString::fromUtf8(text)) {}
    static Variant Boolean(bool b) {
        Variant v;
        v.value_ = b;
        return v;
    }
    // A text given as its UTF-8 (valid UTF-8: it is not checked again).
    static Variant Utf8(QByteArray utf8) {
        Variant v;
        v.value_ = std::move(utf8);
        return v;
    }

    bool IsNull() const { return std::holds_alternative<std::monostate>(value_); }
    bool IsNumber() const { return std::holds_alternative<double>(value_); }
    bool IsText() const {
        return std::holds_alternative<QString>(value_) ||
               std::holds_alternative<QByteArray>(value_);
    }
    bool IsBoolean() const { return std::holds_alternative<bool>(value_); }

    double Number() const { return std::get<double>(value_); }
    // The text, however it is kept.
    QString Text() const;
    // The text's UTF-8 when it is kept so, else null.
    const QByteArray* Utf8Text() const { return std::get_if<QByteArray>(&value_); }
    // The text's length in UTF-16 units, as a QString of it would have.
    qsizetype TextSize() const;
    bool BooleanValue() const { return std::get<bool>(value_); }

    // The value as a text column stores it: numbers in their shortest decimal form
    // ("2024", not "2024.0"), booleans as "True"/"False". Null gives the empty text.
    QString ToText() const;
    // The same in UTF-8: a text kept so as it stands, anything else written into scratch.
    const QByteArray& ToUtf8(QByteArray& scratch) const;

    // The number the engine's Val() gives for this value; Null gives 0.
    double ToNumber() const;

    // Texts are equal whichever way each is kept.
    bool operator==(const Variant& other) const;

  private:
    std::variant<std::monostate, double, QString, bool, QByteArray> value_;
};

// Shortest decimal text that reads back as the same double, without an exponent for
// ordinary magnitudes: 2024 -> "2024", 12.5 -> "12.5".
QString ShortestDecimal(double value);
