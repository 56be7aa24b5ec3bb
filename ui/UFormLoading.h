#pragma once
// The loading window: a small borderless window that shows the counts of a running scan and
// offers Abort (also Escape). The player reports to it; its Abort stops the player's scan. It
// never becomes the active window: it is its owner's (the main window's) transient utility window.
#include "player/UFormPlayer.h"

#include <QElapsedTimer>
#include <QWidget>
#include <memory>

namespace Ui {
class TFormPlayer;
}

class TFormLoading : public QWidget, public TScanObserver {
    Q_OBJECT

public:
    explicit TFormLoading(TFormPlayer& player, QWidget* owner = nullptr);
    ~TFormLoading() override;

    void ScanStarted() override;
    void FileAccepted(std::int32_t folders, std::int32_t files) override;
    void ScanEnded() override;
    // The Abort button.
    void Button1Click();

private:
    void ShowProgress(std::int32_t folders, std::int32_t files);

    std::unique_ptr<Ui::TFormPlayer> ui;
    TFormPlayer& Player;
    QWidget* Owner;              // the main window, or none
    QElapsedTimer ProgressClock; // since the label was last written
};
