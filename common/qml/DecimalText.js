.pragma library

// Decimal texts as users type them and as settings files written under any locale store them;
// the QML side of DecimalText::parse(). Compiled into the program's and the plug-in's resources
// alike, as "qrc:/qml/DecimalText.js".

// The number in text written with either decimal separator, "2.5" or "2,5", and no group
// separators; failing that, in the given locale's own notation. NaN for anything else.
function parse(text, locale) {
    if (typeof text === "number")
        return text
    var written = String(text).trim()
    if (/^[+-]?([0-9]+([.,][0-9]*)?|[.,][0-9]+)$/.test(written))
        return Number(written.replace(",", "."))
    if (locale) {
        try {
            return Number.fromLocaleString(locale, written)
        } catch (error) {
        }
    }
    return NaN
}
