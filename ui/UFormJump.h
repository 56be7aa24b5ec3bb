#pragma once
// "Jump to File": a field to type words into and the files they find, folder and name on one
// line. Return (or a double click) makes the chosen file the current one as the two lists do;
// Escape closes it without a change.
#include <QDialog>

class QLineEdit;
class QListView;
class TJumpSearch;
class TSession;

class TFormJump : public QDialog {
    Q_OBJECT

public:
    TFormJump(TSession& session, QWidget* parent);
    ~TFormJump() override;

    // Shows the window (or brings it forward) with the field ready for typing.
    void Open();
    // The search behind the list, to know when the matches of the last keystroke are in.
    const TJumpSearch& Search() const { return *Searcher; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void MatchesChanged();
    void LibraryChanged();
    void Choose(int row);

    TSession& Session;
    TJumpSearch* Searcher;
    QLineEdit* edSearch;
    QListView* lbMatches;
    class TMatchModel;
    TMatchModel* Model;
    bool Stale = true;         // not folded yet: at the first show
    bool ChooseWhenIn = false; // Return came before the matches of the last keystroke
};
