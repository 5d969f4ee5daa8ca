// The notification area on a Linux desktop: QSystemTrayIcon over either a
// StatusNotifierItem host (D-Bus) or an XEmbed tray. Qt picks the protocol
// once per process, when its first tray icon is made, so no icon is made
// while no tray exists: adding one then fails, as on Windows with no
// taskbar. The area watches for its host to appear, go or be replaced and
// reports every new host, which has none of the program's icons, as the
// shell's "TaskbarCreated". It is told of hosts, never asks on a clock: the
// watcher's bus name and its host-registered signals, the XEmbed
// selection's owner changes through XFixes.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include <QLoggingCategory>
#include <QObject>
#include <QString>

#include "platform/shell.h"

class QDBusServiceWatcher;
class QMenu;
class QSystemTrayIcon;

// Each click a tray icon gets and each popup menu it opens, so that a
// click that changed nothing can be told from one that never came:
// QT_LOGGING_RULES="qm.tray.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcTray)

namespace qm {

namespace x11 {
class TrayOwnerWatch;
}

class TrayArea : public QObject {
    Q_OBJECT

public:
    struct Hooks {
        // A mouse message on icon id, delivered later from the event loop.
        std::function<void(unsigned id, TrayMouse mouse)> mouse;
        // A tray host came (the first, or one replacing another).
        std::function<void()> hostCreated;
        // Fills the menu a StatusNotifier item exports for icon id (the
        // icon's id is also its menu's), before any host asks for it.
        std::function<void(unsigned id, QMenu& menu)> fillMenu;
    };

    explicit TrayArea(Hooks hooks);
    ~TrayArea() override;
    TrayArea(const TrayArea&) = delete;
    TrayArea& operator=(const TrayArea&) = delete;

    // Adds icon data.uID; nothing when no tray exists or the id is shown.
    void Add(const TrayIconData& data);
    void Delete(const TrayIconData& data);
    // Every icon gone (the frame's window is).
    void Clear();

    // Starts watching for hosts. The first answers come later from the
    // event loop; a host found then is news like any other.
    void Watch();
    // The current host as last told, "" when none: "sni:<bus owner>" or
    // "xembed:<window>".
    QString Host() const;
    // While a StatusNotifier host opens an icon's menu: the menu it shows,
    // which the popup menu fills instead of opening one of its own.
    QMenu* MenuBeingShown() const { return shownMenu_; }

protected:
    // Qt's XEmbed tray icon turns a second right or middle press within the
    // double-click time into a double click, which it drops: a quick second
    // right click would open no menu. Such a double click counts as the
    // click it is, once its button is released: a menu opened while the
    // button is still down would close on that release.
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    // The watcher's hosts changed: asks it again.
    void AskStatusNotifierWatcher();

private:
    enum class Protocol { Undecided, StatusNotifier, XEmbed };

    // Icon id was activated: the frame gets the button's messages.
    void Activated(unsigned id, int reason);

    // Reports a host that differs from the one last reported.
    void Update();

    Hooks hooks_;
    Protocol protocol_ = Protocol::Undecided;
    QString host_;
    QDBusServiceWatcher* watcher_ = nullptr;
    std::unique_ptr<x11::TrayOwnerWatch> xembedWatch_;
    // The watcher that last said a host is registered with it, "" when
    // none; the question out now, whose answer alone counts.
    QString sniOwner_;
    unsigned sniQuestion_ = 0;
    bool sniAnswered_ = false;
    std::uint32_t xembedOwner_ = 0;
    // An icon, and for a StatusNotifier host the menu it exports.
    struct Icon {
        std::unique_ptr<QMenu> menu;
        std::unique_ptr<QSystemTrayIcon> icon;
    };
    std::map<unsigned, Icon> icons_;
    QMenu* shownMenu_ = nullptr;
    // A right or middle double click on an icon waiting for its release.
    std::optional<std::pair<unsigned, int>> doubleClicked_;
};

}  // namespace qm
