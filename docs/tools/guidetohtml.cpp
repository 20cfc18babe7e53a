// Turns a Markdown guide into one HTML page whose headings carry anchors named as the
// source's own links name them, so that a viewer can open the page at a section.
#include <QGuiApplication>
#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <cstdio>

namespace {

// "Access for a normal user" -> "access-for-a-normal-user", as Markdown renderers do.
QString anchorName(const QString &heading)
{
    QString name = heading.toLower();
    name.remove(QRegularExpression(QStringLiteral("[^a-z0-9 _-]")));
    name.replace(QLatin1Char(' '), QLatin1Char('-'));
    return name;
}

} // namespace

int main(int argc, char *argv[])
{
    // Headings set font sizes, which need a font database; no display is needed for that.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: guidetohtml <guide.md> <guide.html>\n");
        return 2;
    }
    QFile source(args[1]);
    if (!source.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "guidetohtml: %s: %s\n", qPrintable(args[1]), qPrintable(source.errorString()));
        return 1;
    }
    QTextDocument document;
    document.setMarkdown(QString::fromUtf8(source.readAll()));

    QString title;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (block.blockFormat().headingLevel() == 0)
            continue;
        if (title.isEmpty())
            title = block.text();
        QTextCursor cursor(block);
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        QTextCharFormat anchor;
        anchor.setAnchor(true);
        anchor.setAnchorNames({anchorName(block.text())});
        cursor.mergeCharFormat(anchor);
    }
    document.setMetaInformation(QTextDocument::DocumentTitle, title);

    QSaveFile target(args[2]);
    if (!target.open(QIODevice::WriteOnly) || target.write(document.toHtml("utf-8").toUtf8()) < 0 || !target.commit()) {
        std::fprintf(stderr, "guidetohtml: %s: %s\n", qPrintable(args[2]), qPrintable(target.errorString()));
        return 1;
    }
    return 0;
}
