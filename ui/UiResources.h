#pragma once

// Registers the images of the resource bundle; call once before the first window is built.
void initUiResources();

class QPixmap;
class QString;

// The image at path for a label: on a scaled screen its twin of twice the size ("name@2x.png"), which
// an icon finds by itself and a pixmap loaded by name does not.
QPixmap uiPicture(const QString& path);
