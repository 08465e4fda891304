#include "textcodec.h"

#include "core/textbytes.h"

namespace tvl::ui {

bool isValidUtf8(std::string_view bytes) {
    return tvl::isValidUtf8(bytes);
}

QString fromWindows1251(std::string_view bytes) {
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        text.append(b < 0x80 ? QChar(char16_t(b)) : QChar(kWindows1251High[b - 0x80]));
    }
    return text;
}

QString fromFileBytes(std::string_view bytes) {
    if (isValidUtf8(bytes)) {
        return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    }
    return fromWindows1251(bytes);
}

std::string toFileBytes(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    return std::string(utf8.constData(), static_cast<std::size_t>(utf8.size()));
}

}  // namespace tvl::ui
