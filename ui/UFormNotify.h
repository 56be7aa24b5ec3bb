#pragma once
// The pop-up that announces a file as it starts: a small borderless window in the lower right
// corner of the work area that stays opaque for a second, then fades out and goes away by
// itself. It never takes the keyboard focus from the window the user is typing in.
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>
#include <memory>

class QFontMetrics;
class QFrame;
class QGroupBox;
class QLabel;
class QTimer;
class Ui_TFormNotify;

class TFormNotify : public QWidget {
    Q_OBJECT

public:
    static constexpr int FadeInterval = 1000; // ms per fade step
    static constexpr int FadeStep = 32;       // alpha lost per step (of 255)

    explicit TFormNotify(QWidget* parent = nullptr);
    ~TFormNotify() override;

    // Fills, fits, places and shows the pop-up, opaque, with the fade starting again. Who plays
    // (artist and album) gets a line of its own when the file names them.
    void Display(const QString& title, const QString& info, const QString& artist = {},
                 const QString& album = {});
    // One fade step; Timer1 calls it once a second. Public so the timeline can be driven.
    void Timer1Timer();

    int AlphaBlendValue() const { return Alpha; }
    bool AlphaBlend() const { return Blend; }

    QFrame* Panel1 = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QLabel* Image1 = nullptr;
    QLabel* Label1 = nullptr; // title line
    QLabel* Label2 = nullptr; // information line
    QLabel* Label3 = nullptr; // who plays, above the information
    QTimer* Timer1 = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void SetAlpha(bool blend, int alpha);

    std::unique_ptr<Ui_TFormNotify> Ui;
    int Alpha = 127;
    bool Blend = false;
};

// The pop-up while one exists, else nullptr.
extern TFormNotify* FormNotify;

// Creates the pop-up when there is none, else reuses it, and displays the lines.
void ShowNotify(const QString& title, const QString& info, const QString& artist = {},
                const QString& album = {}, const QString& image = {});
// Closes the pop-up at once, if there is one (the main window does so when it closes).
void CloseNotify();

// The title as the pop-up shows it: unchanged when it fits in width pixels, else cut character
// by character (blanks round it removed) and ended with "..." until it fits.
QString FitNotifyTitle(const QString& title, const QFontMetrics& metrics, int width);
// Top-left corner that puts a window of the given size into the lower right corner of the area.
QPoint NotifyPosition(const QRect& workArea, const QSize& size);
