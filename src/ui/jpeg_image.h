// JPEG pictures of the windows, decoded with libjpeg itself (not through an
// image plugin), so that a damaged file gives an error text and never ends
// the program.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

namespace zorvat {

// Decodes a whole JPEG file held in memory: greyscale pictures become
// Format_Grayscale8, colour (YCbCr/RGB) ones Format_RGB888 and CMYK/YCCK ones
// Format_RGB32. On failure the image is null and `error`, when given, gets
// the reason; a file cut short or with damaged data counts as a failure.
QImage DecodeJpeg(const QByteArray& data, QString* error = nullptr);

// Reads a file (also ":/..." resources) and decodes it.
QImage LoadJpeg(const QString& path, QString* error = nullptr);

}  // namespace zorvat
