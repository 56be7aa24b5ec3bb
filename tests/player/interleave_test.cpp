// Seeded random interleavings of commands, worker steps, deliveries of its answers and the clock:
// the session's rules checked after every step, the device's agreement whenever nothing is under
// way; a failing seed prints its shortest failing sequence. VELODRA_INTERLEAVINGS=n: n of them.
#include "platform/ErrorReport.h"
#include "player/Session.h"
#include "player/UFormPlayer.h"
#include "support/FakeClock.h"
#include "support/ScriptedMediaDevice.h"
#include "support/TestAudio.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <random>
#include <thread>

using namespace testsupport;

namespace {

using L = const QStringList&;
// The machinery's steps, then the commands as keys, lists, the media-player interface and a
// second start give them; the first commands, which act on the file playing, come most often.
const std::pair<const char*, void (*)(TSession&, L, int)> Steps[] = {
    {"Worker", nullptr},
    {"Deliver", nullptr},
    {"Tick", nullptr},
    {"Settle", nullptr},
    {"Close", nullptr},
    {"Play", [](TSession& s, L, int) { s.Run(TCommand::Play); }},
    {"Seek", [](TSession& s, L, int a) { s.Seek(50 + 100 * (a % 80)); }},
    {"Pause", [](TSession& s, L, int) { s.Run(TCommand::Pause); }},
    {"Stop", [](TSession& s, L, int) { s.Run(TCommand::Stop); }},
    {"Next",
     [](TSession& s, L, int a) { s.Run(a % 2 ? TCommand::NextFile : TCommand::NextFolder); }},
    {"Prior",
     [](TSession& s, L, int a) { s.Run(a % 2 ? TCommand::PrevFile : TCommand::PrevFolder); }},
    {"Folder", [](TSession& s, L, int a) { s.SelectFolder(a % 3); }},
    {"File", [](TSession& s, L, int a) { s.SelectFile(a % 3); }},
    {"Open", [](TSession& s, L f, int a) { s.OpenPath(f[a % f.size()]); }},
    {"HandOver", [](TSession& s, L f, int a) { s.HandOver(f[a % f.size()]); }},
    {"Repeat", [](TSession& s, L, int) { s.SetRepeat(!s.Repeat()); }},
};
enum { kWorker, kDeliver, kTick, kSettle, kClose, kCommand };
constexpr unsigned kCommands = std::size(Steps) - kCommand;
using TSteps = std::vector<std::pair<int, int>>; // (what, its argument)

// The saved place of a resumed run: a position no seek of the generator makes.
constexpr int kSavedMs = 1234;

class TInterleaving {
public:
    TInterleaving(const QString& root, const QStringList& files, std::uint32_t seed)
        : Files(files) {
        std::mt19937 rng(seed);
        auto device = std::make_unique<TScriptedMediaDevice>();
        Device = device.get();
        Device->Clock = Clock;
        Device->RefuseQueue = rng() % 2 == 0;
        for (const QString& f : files)
            Device->Lengths[f] =
                static_cast<int>(rng() % 2 ? 800 + rng() % 2500 : 6500 + rng() % 2000);
        if (rng() % 3 == 0) Device->OpenFailures[files[rng() % files.size()]] = "broken";
        Player = std::make_unique<TFormPlayer>(std::move(device), Clock,
                                               TPlaybackEngine::TOptions{.Steps = Queues});
        Session = std::make_unique<TSession>(*Player);
        for (auto signal :
             {&TSession::FileChanged, &TSession::StateChanged, &TSession::PlayStarted})
            QObject::connect(Session.get(), signal, [this] { ++Told; });
        Session->SetRootFolder(root);
        // Braces keep the draws in order: the folder, then playing or not.
        const TResume saved{static_cast<int>(rng() % 3) - 1, 0, kSavedMs, rng() % 2 == 0, {}, {}};
        if (saved.Folder >= 0) Resumed = files[saved.Folder * 3];
        Session->StartUp(saved);
        for (int i = 0; i < 5000 && Session->Scanning(); ++i) {
            QCoreApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }

    // Runs a step; the first rule broken, else empty.
    std::string Run(int what, int arg) {
        if (what >= kCommand) {
            Steps[what].second(*Session, Files, arg);
        } else if (what == kWorker || what == kDeliver) {
            RunOne(what == kWorker ? Queues->Worker : Queues->Answers);
        } else if (what == kTick) {
            Clock->Advance(50 + 50 * static_cast<std::uint32_t>(arg % 20));
            Looked = false;
            Player->Engine().PollNow();
        } else if (what == kClose) {
            Session->Shutdown();
            Closed = Told;
        }
        // Settled: every request run and every answer delivered, the device looked at after.
        for (int round = 0; what == kSettle && round < 100 && (round == 0 || !Quiet()); ++round) {
            Player->Engine().PollNow();
            while (!Queues->Worker.empty() || !Queues->Answers.empty()) {
                RunOne(Queues->Worker);
                RunOne(Queues->Answers);
                if (std::string broken = Check(); !broken.empty()) return broken;
            }
        }
        return Check();
    }

private:
    void RunOne(std::deque<std::function<void()>>& q) {
        if (q.empty()) return;
        const auto fn = std::move(q.front());
        q.pop_front();
        fn();
        if (&q == &Queues->Worker && q.empty()) Looked = true; // since the clock last moved
    }
    bool Quiet() const { return Looked && Queues->Answers.empty() && !Player->Engine().Busy(); }

    std::string Check() {
        if (Closed && Told != *Closed) return "the session changed after its close";
        if (const QString broken = Session->BrokenRule(); !broken.isEmpty())
            return broken.toStdString();
        for (; Seen < Device->Log.size(); ++Seen) {
            const QString& entry = Device->Log[Seen];
            if (entry.startsWith(QStringLiteral("Open "))) LastOpen = entry.mid(5);
            if (entry == QStringLiteral("Seek %1").arg(kSavedMs) && LastOpen != Resumed)
                return "the saved place went to " + LastOpen.toStdString();
        }
        if (Session->Closed() || !Quiet()) return {};
        // Nothing under way and the device looked at: it does what the session says.
        const QString path = Player->Library.FilePath(Session->FolderIndex(), Session->FileIndex());
        if (Session->Device().IsOpen() && Device->OpenPath != path)
            return "the device holds " + Device->OpenPath.toStdString() + ", the session " +
                   path.toStdString();
        if ((Session->State() == TPlayState::Playing) != (Device->Mode() == TMPModes::mpPlaying))
            return "the session's Playing is not the device's";
        return {};
    }

    QStringList Files;
    std::shared_ptr<TEngineSteps> Queues = std::make_shared<TEngineSteps>();
    std::shared_ptr<TFakeClock> Clock = std::make_shared<TFakeClock>();
    TScriptedMediaDevice* Device = nullptr;
    std::unique_ptr<TFormPlayer> Player;
    std::unique_ptr<TSession> Session;
    QString Resumed, LastOpen;
    qsizetype Seen = 0;
    int Told = 0;
    std::optional<int> Closed; // what had been told at the close
    bool Looked = true;
};

// Mostly the machinery between the commands, so that they meet its every moment.
TSteps Generate(std::uint32_t seed) {
    std::mt19937 rng(seed ^ 0x9e3779b9u);
    TSteps steps;
    for (int i = 0; i < 120; ++i) {
        const auto r = rng() % 1000;
        const int what = r < 250   ? kWorker
                         : r < 500 ? kDeliver
                         : r < 720 ? kTick
                         : r < 750 ? kSettle
                         : r < 753
                             ? kClose
                             : kCommand + static_cast<int>(std::min(rng(), rng()) % kCommands);
        steps.emplace_back(what, static_cast<int>(rng() % 1000));
    }
    steps.emplace_back(kSettle, 0);
    return steps;
}

TEST(Interleavings, TheRulesHoldWhateverComesFirst) {
    const TMessageHandler old = SetMessageHandler([](const TMessage&) {});
    TTempDir dir;
    QStringList files;
    for (const char* name : {"0/a", "0/b", "0/c", "1/a", "1/b", "1/c", "2/a", "2/b", "2/c"}) {
        WriteFile(dir / (std::string("lib/F") + name + ".mp3"), "not really audio");
        files << QString::fromStdString(dir / (std::string("lib/F") + name + ".mp3"));
    }
    const QString root = QString::fromStdString(dir / "lib");
    // The step at which a sequence breaks a rule, and which; -1 when none.
    const auto replay = [&](std::uint32_t seed, const TSteps& steps) {
        TInterleaving run(root, files, seed);
        for (size_t i = 0; i < steps.size(); ++i)
            if (std::string broken = run.Run(steps[i].first, steps[i].second); !broken.empty())
                return std::pair{static_cast<int>(i), broken};
        return std::pair{-1, std::string()};
    };
    int count = qEnvironmentVariableIntValue("VELODRA_INTERLEAVINGS");
    if (count <= 0) count = 1000;
    for (std::uint32_t seed = 1, failures = 0;
         seed <= static_cast<std::uint32_t>(count) && failures < 3; ++seed) {
        TSteps steps = Generate(seed);
        const int at = replay(seed, steps).first;
        if (at < 0) continue;
        ++failures;
        // The shortest: steps dropped one at a time as long as it still fails.
        steps.resize(static_cast<size_t>(at) + 1);
        for (size_t i = steps.size(); i-- > 0;) {
            TSteps fewer = steps;
            fewer.erase(fewer.begin() + static_cast<long>(i));
            if (replay(seed, fewer).first >= 0) steps = std::move(fewer);
        }
        std::string text;
        for (const auto& [what, arg] : steps)
            text += std::string(Steps[what].first) + "(" + std::to_string(arg) + ") ";
        ADD_FAILURE() << "seed " << seed << ": " << replay(seed, steps).second
                      << "\n  shortest: " << text;
    }
    SetMessageHandler(old);
}

} // namespace
