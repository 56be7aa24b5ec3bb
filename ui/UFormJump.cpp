#include "ui/UFormJump.h"

#include "player/JumpMatch.h"
#include "player/Session.h"

#include <QAbstractListModel>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QVBoxLayout>
#include <algorithm>

// The matches as rows; the texts are made only for the rows on screen.
class TFormJump::TMatchModel : public QAbstractListModel {
public:
    TMatchModel(const TJumpSearch& search, QObject* parent)
        : QAbstractListModel(parent), Search(search) {}
    // A list view lays out every row it is given, however few are seen: the first few thousand
    // matches are listed, and typing more narrows them.
    static constexpr std::size_t kShownRows = 5000;
    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0
                                : static_cast<int>(std::min(Search.Matches().size(), kShownRows));
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::DisplayRole || !Search.Index() || index.row() >= rowCount({})) return {};
        return Search.Index()->LineText(Search.Matches()[static_cast<size_t>(index.row())]);
    }
    void Reset() {
        beginResetModel();
        endResetModel();
    }

private:
    const TJumpSearch& Search;
};

TFormJump::TFormJump(TSession& session, QWidget* parent)
    : QDialog(parent), Session(session), Searcher(new TJumpSearch(this)),
      edSearch(new QLineEdit(this)), lbMatches(new QListView(this)),
      Model(new TMatchModel(*Searcher, this)) {
    setObjectName(QStringLiteral("FormJump"));
    setWindowTitle(tr("Jump to File"));
    edSearch->setObjectName(QStringLiteral("edSearch"));
    edSearch->setAccessibleName(tr("Search"));
    lbMatches->setObjectName(QStringLiteral("lbMatches"));
    lbMatches->setAccessibleName(tr("Matches"));
    // One height for all rows: a list of 100,000 matches is laid out without measuring each.
    lbMatches->setUniformItemSizes(true);
    lbMatches->setModel(Model);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(edSearch);
    layout->addWidget(lbMatches);
    resize(520, 360);

    edSearch->installEventFilter(this);
    lbMatches->installEventFilter(this);
    connect(edSearch, &QLineEdit::textChanged, Searcher, &TJumpSearch::SetQuery);
    connect(Searcher, &TJumpSearch::MatchesChanged, this, &TFormJump::MatchesChanged);
    connect(lbMatches, &QListView::doubleClicked, this,
            [this](const QModelIndex& i) { Choose(i.row()); });
    connect(&Session, &TSession::LibraryChanged, this, &TFormJump::LibraryChanged);
}

TFormJump::~TFormJump() = default;

void TFormJump::Open() {
    show();
    raise();
    activateWindow();
    edSearch->setFocus();
    edSearch->selectAll();
}

void TFormJump::showEvent(QShowEvent* event) {
    if (Stale) {
        Stale = false;
        Searcher->SetLibrary(Session.Library());
    }
    QDialog::showEvent(event);
}

// Folded at once, shown or not: the window exists once it was used, and the next Ctrl+J finds the
// library ready.
void TFormJump::LibraryChanged() {
    Stale = false;
    Searcher->SetLibrary(Session.Library());
}

void TFormJump::MatchesChanged() {
    Model->Reset();
    if (Model->rowCount({}) > 0) lbMatches->setCurrentIndex(Model->index(0));
    if (ChooseWhenIn && Searcher->Settled()) {
        ChooseWhenIn = false;
        Choose(0);
    }
}

// Up, Down and the page keys move in the list while the field keeps the keys; Return chooses.
bool TFormJump::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return QDialog::eventFilter(watched, event);
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        Choose(lbMatches->currentIndex().row());
        return true;
    }
    const bool move = key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp ||
                      key == Qt::Key_PageDown;
    if (watched != edSearch || !move) return QDialog::eventFilter(watched, event);
    QApplication::sendEvent(lbMatches, event);
    return true;
}

void TFormJump::Choose(int row) {
    if (!Searcher->Settled()) {
        // What was typed last is not matched yet: its first match is the one meant.
        ChooseWhenIn = true;
        return;
    }
    const std::vector<TJumpMatch>& matches = Searcher->Matches();
    if (row < 0 || static_cast<size_t>(row) >= matches.size()) {
        QApplication::beep();
        return;
    }
    const TJumpMatch m = matches[static_cast<size_t>(row)];
    hide();
    // As a choice in the two lists, in one step.
    Session.SelectPlace(m.Folder, m.File);
}
