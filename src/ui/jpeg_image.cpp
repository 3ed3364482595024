#include "jpeg_image.h"

#include <QFile>
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <vector>

#include <jpeglib.h>

namespace zorvat {
namespace {

// A picture larger than this on either side is not one of ours: it is
// refused before anything is allocated for it.
constexpr JDIMENSION kMaxSide = 8192;

// libjpeg reports a fatal error by calling error_exit, which must not
// return: ours jumps back to the decoder with the message. The manager
// lives in the caller's frame, so nothing local to the function that calls
// setjmp changes between the jump's set-up and the jump itself.
struct ErrorManager {
    jpeg_error_mgr pub;  // first member: libjpeg sees only this part
    std::jmp_buf jump;
    bool warningsFatal;
    char message[JMSG_LENGTH_MAX];
};

struct DecodeJob {
    const QByteArray* data = nullptr;
    jpeg_decompress_struct cinfo{};
    ErrorManager err{};
    QImage image;
    std::vector<JSAMPLE> row;  // one CMYK line before it is turned into RGB
    QString error;
};

ErrorManager* ManagerOf(j_common_ptr cinfo) {
    return reinterpret_cast<ErrorManager*>(cinfo->err);
}

void ErrorExit(j_common_ptr cinfo) {
    ErrorManager* err = ManagerOf(cinfo);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

// Warnings are about damaged data (a file cut short, a corrupt segment):
// while lines are decoded they end the decoding like errors, because the
// rest of the picture would be made up. Trace messages are dropped; nothing
// is printed.
void EmitMessage(j_common_ptr cinfo, int level) {
    if (level >= 0) return;
    ErrorManager* err = ManagerOf(cinfo);
    ++err->pub.num_warnings;
    if (err->warningsFatal) ErrorExit(cinfo);
}

void OutputMessage(j_common_ptr) {}

uchar InkToLight(int ink, int black) {
    return static_cast<uchar>((255 - ink) * (255 - black) / 255);
}

// Adobe writes CMYK JPEG files with inverted samples (255 = no ink).
void CmykLineToRgb(const JSAMPLE* in, QRgb* out, JDIMENSION width, bool inverted) {
    for (JDIMENSION x = 0; x < width; ++x, in += 4) {
        int c = in[0], m = in[1], y = in[2], k = in[3];
        if (inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        out[x] = qRgb(InkToLight(c, k), InkToLight(m, k), InkToLight(y, k));
    }
}

bool Fail(DecodeJob* job, const char* text) {
    job->error = QString::fromUtf8(text);
    return false;
}

// Fills job->image; false with job->error on failure. Every libjpeg call
// that can fail lies after the setjmp, and no object with a destructor is
// created in this function after it, so the jump skips no clean-up.
bool RunDecoder(DecodeJob* job) {
    jpeg_decompress_struct* cinfo = &job->cinfo;
    cinfo->err = jpeg_std_error(&job->err.pub);
    job->err.pub.error_exit = ErrorExit;
    job->err.pub.emit_message = EmitMessage;
    job->err.pub.output_message = OutputMessage;
    job->err.warningsFatal = true;
    if (setjmp(job->err.jump) != 0) {
        job->error = QStringLiteral("JPEG: ") + QString::fromLocal8Bit(job->err.message);
        jpeg_destroy_decompress(cinfo);
        job->image = QImage();
        return false;
    }
    jpeg_create_decompress(cinfo);
    jpeg_mem_src(cinfo, reinterpret_cast<const unsigned char*>(job->data->constData()),
                 static_cast<unsigned long>(job->data->size()));
    if (jpeg_read_header(cinfo, TRUE) != JPEG_HEADER_OK) {
        jpeg_destroy_decompress(cinfo);
        return Fail(job, "JPEG: нет изображения в файле");
    }
    if (cinfo->image_width == 0 || cinfo->image_height == 0 || cinfo->image_width > kMaxSide ||
        cinfo->image_height > kMaxSide) {
        jpeg_destroy_decompress(cinfo);
        return Fail(job, "JPEG: недопустимый размер изображения");
    }
    QImage::Format format = QImage::Format_RGB888;
    switch (cinfo->jpeg_color_space) {
        case JCS_GRAYSCALE:
            cinfo->out_color_space = JCS_GRAYSCALE;
            format = QImage::Format_Grayscale8;
            break;
        case JCS_YCbCr:
        case JCS_RGB:
            cinfo->out_color_space = JCS_RGB;
            break;
        case JCS_CMYK:
        case JCS_YCCK:
            cinfo->out_color_space = JCS_CMYK;
            format = QImage::Format_RGB32;
            break;
        default:
            jpeg_destroy_decompress(cinfo);
            return Fail(job, "JPEG: неизвестное цветовое пространство");
    }
    jpeg_start_decompress(cinfo);
    const JDIMENSION width = cinfo->output_width;
    const JDIMENSION height = cinfo->output_height;
    const bool cmyk = cinfo->out_color_space == JCS_CMYK;
    job->image = QImage(static_cast<int>(width), static_cast<int>(height), format);
    if (job->image.isNull()) {
        jpeg_destroy_decompress(cinfo);
        return Fail(job, "JPEG: недостаточно памяти для изображения");
    }
    if (cmyk) job->row.resize(static_cast<std::size_t>(width) * 4U);
    while (cinfo->output_scanline < height) {
        const int y = static_cast<int>(cinfo->output_scanline);
        JSAMPROW line = cmyk ? job->row.data() : job->image.scanLine(y);
        if (jpeg_read_scanlines(cinfo, &line, 1) != 1) {
            jpeg_destroy_decompress(cinfo);
            job->image = QImage();
            return Fail(job, "JPEG: строки изображения не прочитаны");
        }
        if (cmyk) {
            CmykLineToRgb(job->row.data(), reinterpret_cast<QRgb*>(job->image.scanLine(y)), width,
                          cinfo->saw_Adobe_marker != 0);
        }
    }
    // Every line is there: what follows the last one (a missing end marker,
    // stray bytes) does not spoil the picture.
    job->err.warningsFatal = false;
    jpeg_finish_decompress(cinfo);
    jpeg_destroy_decompress(cinfo);
    return true;
}

}  // namespace

QImage DecodeJpeg(const QByteArray& data, QString* error) {
    if (data.isEmpty()) {
        if (error != nullptr) *error = QStringLiteral("JPEG: пустой файл");
        return {};
    }
    DecodeJob job;
    job.data = &data;
    if (!RunDecoder(&job)) {
        if (error != nullptr) *error = job.error;
        return {};
    }
    if (error != nullptr) error->clear();
    return job.image;
}

QImage LoadJpeg(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error != nullptr) *error = QStringLiteral("Нет доступа к файлу ") + path;
        return {};
    }
    return DecodeJpeg(file.readAll(), error);
}

}  // namespace zorvat
