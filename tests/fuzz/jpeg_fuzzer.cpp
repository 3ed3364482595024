// Fuzz target for the JPEG decoder of the windows' pictures: any bytes give
// a picture or an error text, never a crash.
#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

#include "jpeg_image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > (1u << 20)) return 0;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QString error;
    const QImage image = zorvat::DecodeJpeg(bytes, &error);
    if (image.isNull() && error.isEmpty()) __builtin_trap();
    return 0;
}
