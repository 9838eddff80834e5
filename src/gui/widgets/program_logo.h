#pragma once

#include <QApplication>
#include <QIcon>
#include <QPixmap>

namespace dirka {

/// The program icon at size x size device-independent pixels, sharp at the given pixel ratio.
/// The icon is compiled into the program; a test binary without it gets the window icon.
inline QPixmap ProgramLogo(int size, qreal ratio)
{
    QPixmap logo(QStringLiteral(":/icons/dirka-256.png"));
    if (logo.isNull())
        logo = QApplication::windowIcon().pixmap(size);
    if (logo.isNull())
        return logo;
    logo = logo.scaled(QSize(size, size) * ratio, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    logo.setDevicePixelRatio(ratio);
    return logo;
}

} // namespace dirka
