#pragma once

// The bar's notification-area icon as a StatusNotifierItem host sees it over the session bus:
// the registered item, the menu it exports (com.canonical.dbusmenu) read and clicked as a host
// does, and the hosts' calls on that menu recorded by dbus-monitor.

#include "BarHarness.h"

namespace e2e {

inline QByteArray Gdbus(const QStringList &arguments) {
    return Tool(QStringLiteral("gdbus"),
                QStringList{QStringLiteral("call"), QStringLiteral("--session")} + arguments);
}

inline QByteArray WatcherProperty(const char *name) {
    return Gdbus({QStringLiteral("-d"), QStringLiteral("org.kde.StatusNotifierWatcher"),
                  QStringLiteral("-o"), QStringLiteral("/StatusNotifierWatcher"),
                  QStringLiteral("-m"), QStringLiteral("org.freedesktop.DBus.Properties.Get"),
                  QStringLiteral("org.kde.StatusNotifierWatcher"), QLatin1String(name)});
}

inline bool HostRegistered() {
    return WatcherProperty("IsStatusNotifierHostRegistered").contains("true");
}

// The bus name of the first item registered with the watcher; empty while there is none.
inline QString RegisteredItem() {
    return QRegularExpression(QStringLiteral("'(:[0-9.]+)/StatusNotifierItem'"))
        .match(QString::fromLatin1(WatcherProperty("RegisteredStatusNotifierItems")))
        .captured(1);
}

// The object path of the menu an item exports, as its Menu property names it.
inline QString MenuPath(const QString &item, QString *answer = nullptr) {
    const QString menuProperty = QString::fromLatin1(Gdbus(
        {QStringLiteral("-d"), item, QStringLiteral("-o"), QStringLiteral("/StatusNotifierItem"),
         QStringLiteral("-m"), QStringLiteral("org.freedesktop.DBus.Properties.Get"),
         QStringLiteral("org.kde.StatusNotifierItem"), QStringLiteral("Menu")}));
    if (answer)
        *answer = menuProperty;
    return QRegularExpression(QStringLiteral("objectpath '([^']+)'"))
        .match(menuProperty)
        .captured(1);
}

// dbus-monitor's record of the exported menus' traffic.
class MenuTraffic {
public:
    bool Start() {
        monitor_.start(
            QStringLiteral("dbus-monitor"),
            {QStringLiteral("--session"), QStringLiteral("interface='com.canonical.dbusmenu'")});
        // It has subscribed once it reports its own name.
        return monitor_.waitForStarted() && PollUntil([this] { return Seen("NameAcquired"); });
    }
    bool Seen(const QByteArray &what) {
        text_ += monitor_.readAllStandardOutput();
        return text_.contains(what);
    }
    // A call or signal on the menu at an object path: "member=AboutToShow" also matches the
    // group form of that call.
    bool SeenOn(const QString &path, const QByteArray &member) {
        return Seen("path=" + path.toUtf8() + "; interface=com.canonical.dbusmenu; " + member);
    }
    void Forget() { text_.clear(); }
    QString Text() const { return QString::fromUtf8(text_); }
    ~MenuTraffic() {
        monitor_.kill();
        monitor_.waitForFinished();
    }

private:
    QProcess monitor_;
    QByteArray text_;
};

struct MenuEntry {
    int id;
    QString label;
    bool ticked;
};

// The shown entries of an exported menu's top level, read as a host reads them.
inline QList<MenuEntry> ShownEntries(const QString &service, const QString &path) {
    const QString layout = QString::fromUtf8(
        Gdbus({QStringLiteral("-d"), service, QStringLiteral("-o"), path, QStringLiteral("-m"),
               QStringLiteral("com.canonical.dbusmenu.GetLayout"), QStringLiteral("--"),
               QStringLiteral("0"), QStringLiteral("-1"), QStringLiteral("[]")}));
    QList<MenuEntry> entries;
    static const QRegularExpression item(QStringLiteral("<\\((\\d+), \\{([^}]*)\\}"));
    static const QRegularExpression label(QStringLiteral("'label': <'((?:[^'\\\\]|\\\\.)*)'>"));
    for (auto it = item.globalMatch(layout); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QString properties = m.captured(2);
        if (properties.contains(QLatin1String("'visible': <false>")) ||
            properties.contains(QLatin1String("'type': <'separator'>")))
            continue;
        entries.append({m.captured(1).toInt(), label.match(properties).captured(1),
                        properties.contains(QLatin1String("'toggle-state': <1>"))});
    }
    return entries;
}

inline QStringList Labels(const QList<MenuEntry> &entries) {
    QStringList labels;
    for (const MenuEntry &entry : entries)
        labels << entry.label;
    return labels;
}

inline MenuEntry EntryOf(const QList<MenuEntry> &entries, const QString &label) {
    for (const MenuEntry &entry : entries)
        if (entry.label == label)
            return entry;
    return {-1, label, false};
}

// Clicks an entry of an exported menu as a host does.
inline void ClickEntry(const QString &service, const QString &path, int id) {
    Gdbus({QStringLiteral("-d"), service, QStringLiteral("-o"), path, QStringLiteral("-m"),
           QStringLiteral("com.canonical.dbusmenu.Event"), QString::number(id),
           QStringLiteral("clicked"), QStringLiteral("<0>"), QStringLiteral("0")});
}

} // namespace e2e
