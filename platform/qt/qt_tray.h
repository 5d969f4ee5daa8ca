// The notification area on a Linux desktop: QSystemTrayIcon over either a
// StatusNotifierItem host (D-Bus) or an XEmbed tray. Qt picks the protocol
// once per process, when its first tray icon is made, so no icon is made
// while no tray exists: adding one then fails, as on Windows with no
// taskbar. The area watches for its host to appear, go or be replaced and
// reports every new host, which has none of the program's icons, as the
// shell's "TaskbarCreated".
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

#include <QObject>
#include <QString>
#include <QTimer>

#include "platform/shell.h"

class QMenu;
class QSystemTrayIcon;

namespace qm {

class TrayArea {
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
    ~TrayArea();
    TrayArea(const TrayArea&) = delete;
    TrayArea& operator=(const TrayArea&) = delete;

    // Adds icon data.uID; nothing when no tray exists or the id is shown.
    void Add(const TrayIconData& data);
    void Delete(const TrayIconData& data);
    // Every icon gone (the frame's window is).
    void Clear();

    // Starts watching for hosts; the host present now is no news.
    void Watch();
    // The current host, "" when none: "sni:<bus owner>" or "xembed:<window>".
    QString Host();
    // While a StatusNotifier host opens an icon's menu: the menu it shows,
    // which the popup menu fills instead of opening one of its own.
    QMenu* MenuBeingShown() const { return shownMenu_; }

private:
    enum class Protocol { Undecided, StatusNotifier, XEmbed };

    void Poll();
    // The registered StatusNotifier host's watcher, "" when none.
    QString StatusNotifierHost();

    Hooks hooks_;
    QObject context_;  // queued mouse messages run in its name
    QTimer poll_;
    Protocol protocol_ = Protocol::Undecided;
    QString host_;
    QString sniOwner_;         // the watcher last asked ...
    bool sniRegistered_ = false;  // ... and its answer
    // An icon, and for a StatusNotifier host the menu it exports.
    struct Icon {
        std::unique_ptr<QMenu> menu;
        std::unique_ptr<QSystemTrayIcon> icon;
    };
    std::map<unsigned, Icon> icons_;
    QMenu* shownMenu_ = nullptr;
};

}  // namespace qm
