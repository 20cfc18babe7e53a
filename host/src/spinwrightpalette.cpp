#include "spinwrightpalette.h"

QPalette spinwrightPalette(QPalette palette)
{
    const QColor grey(70, 70, 70);
    for (QPalette::ColorRole role : {QPalette::Window, QPalette::Base, QPalette::Button})
        palette.setColor(role, grey);
    for (QPalette::ColorRole role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText})
        palette.setColor(role, Qt::white);
    palette.setColor(QPalette::Link, QColor(120, 187, 255));
    // An invalid colour lets the style draw disabled text its own way.
    for (QPalette::ColorRole role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, QColor());
    return palette;
}
