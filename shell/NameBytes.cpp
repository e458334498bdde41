#include "NameBytes.h"

#include "engine/Text.h"

#include <QMimeData>

namespace {

// DecodeLenient's stand-in for an invalid byte b, which is always 0x80 or above.
constexpr char32_t kInvalidByteBase = 0xDC00;

bool IsInvalidByte(char32_t c) {
    return c >= kInvalidByteBase + 0x80 && c <= kInvalidByteBase + 0xFF;
}

bool IsControl(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

bool IsPlain(std::string_view bytes) {
    for (const char32_t c : DecodeLenient(bytes))
        if (IsInvalidByte(c) || IsControl(c))
            return false;
    return true;
}

QString OctalEscape(unsigned char byte) {
    return QStringLiteral("\\%1").arg(byte, 3, 8, QLatin1Char('0'));
}

} // namespace

QString ReadableName(std::string_view bytes) {
    QString text;
    for (char32_t c : DecodeLenient(bytes)) {
        if (IsInvalidByte(c))
            c -= kInvalidByteBase;
        if (IsControl(c))
            c = U'?';
        text += QString::fromUcs4(&c, 1);
    }
    return text;
}

QByteArray FileUri(std::string_view path) {
    const QByteArray bytes(path.data(), static_cast<qsizetype>(path.size()));
    return QByteArrayLiteral("file://") + bytes.toPercentEncoding("/");
}

// Runs of plain characters go between single quotes (a quote itself as '\''), every other
// byte as $'\ooo'.
QString PathText(std::string_view path) {
    if (IsPlain(path))
        return QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size()));
    QString quoted;
    QString run;
    const auto endRun = [&] {
        if (!run.isEmpty())
            quoted += QLatin1Char('\'') + run.replace(QLatin1Char('\''), QStringLiteral("'\\''")) +
                      QLatin1Char('\'');
        run.clear();
    };
    for (const char32_t c : DecodeLenient(path)) {
        if (IsInvalidByte(c) || IsControl(c)) {
            endRun();
            std::string bytes = EncodeUtf8(std::u32string(1, c));
            if (IsInvalidByte(c))
                bytes = std::string(1, static_cast<char>(c - kInvalidByteBase));
            quoted += QStringLiteral("$'");
            for (const char byte : bytes)
                quoted += OctalEscape(static_cast<unsigned char>(byte));
            quoted += QLatin1Char('\'');
        } else {
            run += QString::fromUcs4(&c, 1);
        }
    }
    endRun();
    return quoted;
}

std::unique_ptr<QMimeData> PathMimeData(std::string_view path) {
    auto data = std::make_unique<QMimeData>();
    data->setData(QStringLiteral("text/uri-list"), FileUri(path) + "\r\n");
    data->setText(PathText(path));
    return data;
}
