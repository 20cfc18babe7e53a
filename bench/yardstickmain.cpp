// The start-up yardsticks for the host: one page in a QQuickView, sized by the first two
// arguments. Built twice: the smallest Qt Quick page, and a Qt Quick Controls 2 page in the Fusion
// style with the same kinds of controls as the host's window (YARDSTICK_FUSION), built as the host
// is, for what the controls cost by themselves.
#include <QGuiApplication>
#include <QQuickView>
#ifdef YARDSTICK_FUSION
#include <QQuickStyle>
#endif

int main(int argc, char *argv[])
{
#ifdef YARDSTICK_FUSION
    QQuickStyle::setStyle(QStringLiteral("Fusion"));
#endif
    QGuiApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const int width = arguments.size() > 2 ? arguments.at(1).toInt() : 640;
    const int height = arguments.size() > 2 ? arguments.at(2).toInt() : 480;
    QQuickView view;
    view.setResizeMode(QQuickView::SizeRootObjectToView);
    view.setSource(QUrl(QStringLiteral(YARDSTICK_PAGE)));
    view.resize(width, height);
    view.show();
    return app.exec();
}
