// A Qt Quick Controls 2 page in the Fusion style with the same kinds of controls as the host's
// window, built as the host is: the start-up yardstick for what the controls cost by themselves.
#include <QGuiApplication>
#include <QQuickStyle>
#include <QQuickView>

int main(int argc, char *argv[])
{
    QQuickStyle::setStyle(QStringLiteral("Fusion"));
    QGuiApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const int width = arguments.size() > 2 ? arguments.at(1).toInt() : 640;
    const int height = arguments.size() > 2 ? arguments.at(2).toInt() : 480;
    QQuickView view;
    view.setResizeMode(QQuickView::SizeRootObjectToView);
    view.setSource(QUrl(QStringLiteral("qrc:/controlsquick/Page.qml")));
    view.resize(width, height);
    view.show();
    return app.exec();
}
