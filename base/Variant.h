#pragma once

#include <QString>
#include <variant>

// A cell or column value as the engine hands it out: Null, a number, a text or a boolean.
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

    bool IsNull() const { return std::holds_alternative<std::monostate>(value_); }
    bool IsNumber() const { return std::holds_alternative<double>(value_); }
    bool IsText() const { return std::holds_alternative<QString>(value_); }
    bool IsBoolean() const { return std::holds_alternative<bool>(value_); }

    double Number() const { return std::get<double>(value_); }
    const QString& Text() const { return std::get<QString>(value_); }
    bool BooleanValue() const { return std::get<bool>(value_); }

    // The value as a text column stores it: numbers in their shortest decimal form
    // ("2024", not "2024.0"), booleans as "True"/"False". Null gives the empty text.
    QString ToText() const;

    // The number the engine's Val() gives for this value; Null gives 0.
    double ToNumber() const;

    bool operator==(const Variant& other) const { return value_ == other.value_; }

  private:
    std::variant<std::monostate, double, QString, bool> value_;
};

// Shortest decimal text that reads back as the same double, without an exponent for
// ordinary magnitudes: 2024 -> "2024", 12.5 -> "12.5".
QString ShortestDecimal(double value);
