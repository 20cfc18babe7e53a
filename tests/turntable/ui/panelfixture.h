#pragma once
// The turntable's settings panel shown in a window of its own on the shared QML engine, over a
// control on the simulated boards, with the helpers its tests share.
#include "recordinghost.h"
#include "zlmarvolixturntablecontrol.h"
#include "zlpluginslist.h"

#include <QLocale>
#include <QObject>
#include <QQuickView>
#include <QTemporaryDir>

#include <memory>

class QQuickItem;

class PanelFixture : public QObject
{
    Q_OBJECT

protected:
    // initTestCase(), cleanupTestCase(), init() and cleanup() of the tests.
    void setUpCase();
    void tearDownCase();
    void setUpTest();
    void tearDownTest();

    static QString settingsFile();
    bool createPanel();
    bool openRow(size_t row);
    QQuickItem *find(const char *objectName) const;
    void click(QQuickItem *target);
    // Replaces the input's text by typing, then presses Return.
    void typeInto(QQuickItem *input, const QString &text);
    bool isEnabled(const char *objectName) const;
    void showAdvancedTab();

    // Owns the shared QML engine, as in the host, and deletes it at the end.
    std::unique_ptr<ZLPluginsList> plugins;
    QTemporaryDir dataHome;
    QLocale startLocale;
    RecordingHost host;
    std::unique_ptr<ZLMarvolixTurntableControl> control;
    std::unique_ptr<QQuickView> view;
    QQuickItem *panel = nullptr;
};
