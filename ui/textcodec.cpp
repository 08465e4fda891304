#include "textcodec.h"

#include "core/charset.h"

namespace tvl::ui {

bool isValidUtf8(std::string_view bytes) {
    return tvl::isValidUtf8(bytes);
}

QString fromWindows1251(std::string_view bytes) {
    const std::string utf8 = windows1251ToUtf8(bytes);
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

QString fromFileBytes(std::string_view bytes) {
    return fromFileBytes(bytes, isValidUtf8(bytes));
}

QString fromFileBytes(std::string_view bytes, bool utf8) {
    return utf8 ? QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()))
                : fromWindows1251(bytes);
}

std::string toFileBytes(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    return std::string(utf8.constData(), static_cast<std::size_t>(utf8.size()));
}

}  // namespace tvl::ui
