#include "spinwrightpalette.h"

QPalette spinwrightPalette(QPalette palette)
{
    const QColor grey(70, 70, 70);
    for (QPalette::ColorRole role : {QPalette::Window, QPalette::Base, QPalette::Button})
        palette.setColor(role, grey);
    for (QPalette::ColorRole role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText})
        palette.setColor(role, Qt::white);
    palette.setColor(QPalette::Link, QColor(120, 187, 255));
    // Spelt out: left invalid, Qt Quick's controls drew disabled text as white as enabled text.
    for (QPalette::ColorRole role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, QColor(140, 140, 140));
    return palette;
}
