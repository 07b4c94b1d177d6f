#include "MText.h"

#include <QRegularExpression>

namespace MText {
namespace {

struct Kind {
    const char* name;
    int32_t value;
};

constexpr Kind kKinds[] = {{"Single", 1},          {"Server", 2},           {"Client", 4},
                           {"Terminal Server", 8}, {"Terminal Client", 16}, {"Group", 32},
                           {"QuorvinX", 64}};

}  // namespace

bool IsNumeric(const QString& text) {
    static const QRegularExpression number(
        QStringLiteral(R"(^\s*[+-]?(\d+\.?\d*|\.\d+)([eEdD][+-]?\d+)?\s*$)"));
    return number.match(text).hasMatch();
}

ProjectTypeResult ConvertProjectType(const ProjectTypeInput& value) {
    std::optional<double> number;
    if (const double* d = std::get_if<double>(&value)) {
        number = *d;
    } else if (IsNumeric(std::get<QString>(value))) {
        QString text = std::get<QString>(value).trimmed();
        text.replace(QLatin1Char('d'), QLatin1Char('e'))
            .replace(QLatin1Char('D'), QLatin1Char('e'));
        number = text.toDouble();
    }
    if (number) {
        for (const Kind& kind : kKinds)
            if (*number == kind.value) return QString::fromLatin1(kind.name);
        return QString();
    }
    const QString& name = std::get<QString>(value);
    for (const Kind& kind : kKinds)
        if (name == QLatin1String(kind.name)) return kind.value;
    return int32_t{0};
}

}  // namespace MText
