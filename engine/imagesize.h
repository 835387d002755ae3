#pragma once

#include <QSize>
#include <QString>

#include <optional>

// Width and height in pixels of the picture at path, read from its header only.
// The format follows the extension (bmp, ico, wmf, emf, tif, tiff, jpg, jpeg, png;
// any other fails). A file that cannot be read or whose header does not fit its
// format fails; nothing is thrown.
std::optional<QSize> readImageSize(const QString &path);
