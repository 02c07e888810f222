#pragma once
// JPEG decoding with libjpeg (the program does not rely on an image plugin).
#include <QByteArray>
#include <QImage>
#include <QString>

// Decodes a baseline or progressive JPEG into an RGB image.  Returns a null
// image and the reason in `error` when the data is not a readable JPEG.
QImage DecodeJpeg(const QByteArray& data, QString* error = nullptr);

// Encodes an image as a JPEG of the given quality (1-100).  Empty on failure.
QByteArray EncodeJpeg(const QImage& image, int quality, QString* error = nullptr);
