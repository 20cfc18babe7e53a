// The smallest Qt Quick program that shows one page: the start-up yardstick for the host.
#include <QGuiApplication>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickView>

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const int width = arguments.size() > 2 ? arguments.at(1).toInt() : 640;
    const int height = arguments.size() > 2 ? arguments.at(2).toInt() : 480;
    QQuickView view;
    view.setResizeMode(QQuickView::SizeRootObjectToView);
    view.setSource(QUrl(QStringLiteral("qrc:/minimalquick/Page.qml")));
    view.resize(width, height);
    view.show();
    return app.exec();
}
