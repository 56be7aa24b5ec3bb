#pragma once
// The loading window: a small borderless window that shows the counts of the session's running
// scan and offers Abort (also Escape), which stops it. It never becomes the active window: it is
// its owner's (the main window's) transient utility window.
#include <QWidget>
#include <cstdint>
#include <memory>

class QTimer;
class TSession;

namespace Ui {
class TFormPlayer;
}

class TFormLoading : public QWidget {
    Q_OBJECT

public:
    explicit TFormLoading(TSession& session, QWidget* owner = nullptr);
    ~TFormLoading() override;

    void ScanStarted();
    void ScanEnded();
    // The Abort button.
    void Button1Click();

private:
    void ShowProgress();

    std::unique_ptr<Ui::TFormPlayer> ui;
    TSession& Session;
    QWidget* Owner; // the main window, or none
    // The counts are read at this pace while the scan runs: a repaint per file would cost more
    // than the scan itself.
    QTimer* Progress;
};
