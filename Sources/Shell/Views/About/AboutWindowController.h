#pragma once

#include "Foundation/Bundle.h"

#include <QPointer>
#include <QWidget>

#include <functional>

class QClipboard;
class QLabel;
class QToolButton;

namespace tarnwick {

// The About window's content: icon, name and version (a click on the copy button puts "v" and
// the version on the clipboard), the maker's logo and copyright, the donation link, and the
// credits in a scrolling column.
class AboutView : public QWidget {
    Q_OBJECT

public:
    explicit AboutView(const Bundle& bundle, QWidget* parent = nullptr);

    bool didCopyVersion() const { return m_didCopyVersion; }
    void copyVersion();
    QToolButton* copyButton() const { return m_copyButton; }

    // Opens an address in the default browser. Used for testing only.
    std::function<void(const QString&)> openURL;

private:
    void refreshCopyButton();

    const Bundle& m_bundle;
    bool m_didCopyVersion = false;
    QToolButton* m_copyButton = nullptr;
};

// A fixed-size window for the About view, centred over the main window as its transient. Every
// request opens a new one: nothing holds or reuses it, and it deletes itself when closed; Escape
// and Ctrl+W close it.
class AboutWindowController {
public:
    explicit AboutWindowController(const Bundle& bundle = Bundle::main(),
                                   QWidget* mainWindow = nullptr);
    QWidget* window() const { return m_window; }
    // Brings the window to the front as the active one.
    void showWindow();

private:
    QPointer<QWidget> m_window;
};

}  // namespace tarnwick
