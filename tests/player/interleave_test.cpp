// The session and the device's worker under random interleavings: a seeded generator of
// commands, worker steps, deliveries of the worker's answers and the clock, with the session's
// rules checked after every step and the device's agreement whenever everything has settled.
// A failing seed prints the shortest sequence that still fails. VELODRA_INTERLEAVINGS=n runs
// n sequences instead of the fixed set.
#include "platform/ErrorReport.h"
#include "player/Session.h"
#include "player/UFormPlayer.h"
#include "support/FakeClock.h"
#include "support/ScriptedMediaDevice.h"
#include "support/TestAudio.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <thread>

using namespace testsupport;

namespace {

enum class TOp {
    Play,
    Pause,
    Stop,
    Next,
    Prior,
    Seek,
    Folder,
    File,
    Open,
    HandOver,
    Repeat,
    Close,
    Worker,
    Deliver,
    Tick,
    Settle
};
const char* const OpNames[] = {"Play",   "Pause",   "Stop", "Next",     "Prior",  "Seek",
                               "Folder", "File",    "Open", "HandOver", "Repeat", "Close",
                               "Worker", "Deliver", "Tick", "Settle"};
struct TStep {
    TOp Op;
    int Arg;
};
using TSteps = std::vector<TStep>;

// The saved place of a resumed run: a position no seek of the generator makes.
constexpr int kSavedMs = 1234;

class TInterleaving {
public:
    TInterleaving(const QString& root, const QStringList& files, std::uint32_t seed)
        : Files(files) {
        std::mt19937 rng(seed);
        auto device = std::make_unique<TScriptedMediaDevice>();
        Device = device.get();
        Clock = std::make_shared<TFakeClock>();
        Device->Clock = Clock;
        Device->RefuseQueue = rng() % 2 == 0;
        for (const QString& f : files)
            Device->Lengths[f] = rng() % 2 == 0 ? 800 + static_cast<int>(rng() % 2500)
                                                : 6500 + static_cast<int>(rng() % 2000);
        if (rng() % 3 == 0) Device->OpenFailures[files[rng() % files.size()]] = "broken";
        TPlaybackEngine::TOptions options;
        options.Steps = Steps;
        Player = std::make_unique<TFormPlayer>(std::move(device), Clock, options);
        Session = std::make_unique<TSession>(*Player);
        for (auto signal : {&TSession::FileChanged, &TSession::StateChanged, &TSession::PlayStarted,
                            &TSession::InfoChanged})
            QObject::connect(Session.get(), signal, [this] { ++Told; });
        Session->SetRootFolder(root);
        Saved = rng() % 2 == 0 ? TResume{static_cast<int>(rng() % 2), 0, kSavedMs, rng() % 2 == 0}
                               : TResume{};
        if (Saved.Folder >= 0) Resumed = files[Saved.Folder * 3];
        Session->StartUp(Saved);
        for (int i = 0; i < 5000 && Session->Scanning(); ++i) {
            QCoreApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }

    // Runs the step; the first rule broken, else empty.
    std::string Run(const TStep& s) {
        TSession& S = *Session;
        switch (s.Op) {
        case TOp::Play:
            S.Run(TCommand::Play);
            break;
        case TOp::Pause:
            S.Run(TCommand::Pause);
            break;
        case TOp::Stop:
            S.Run(TCommand::Stop);
            break;
        case TOp::Next:
            S.Run(s.Arg % 2 ? TCommand::NextFile : TCommand::NextFolder);
            break;
        case TOp::Prior:
            S.Run(s.Arg % 2 ? TCommand::PrevFile : TCommand::PrevFolder);
            break;
        case TOp::Seek:
            S.Seek(50 + 100 * (s.Arg % 80));
            break;
        case TOp::Folder:
            S.SelectFolder(s.Arg % 3);
            break;
        case TOp::File:
            S.SelectFile(s.Arg % 3);
            break;
        case TOp::Open:
            S.OpenPath(Files[s.Arg % Files.size()]);
            break;
        case TOp::HandOver:
            S.HandOver(Files[s.Arg % Files.size()]);
            break;
        case TOp::Repeat:
            S.SetRepeat(!S.Repeat());
            break;
        case TOp::Close:
            S.Shutdown();
            Closed = Told;
            break;
        case TOp::Worker:
            RunOne(Steps->Worker);
            break;
        case TOp::Deliver:
            RunOne(Steps->Answers);
            break;
        case TOp::Tick:
            Clock->Advance(50 + 50 * static_cast<std::uint32_t>(s.Arg % 20));
            Looked = false;
            Player->Engine().PollNow();
            break;
        case TOp::Settle:
            return Settle();
        }
        return Check();
    }

    // Every request run and every answer delivered, the device looked at after each round.
    std::string Settle() {
        for (int round = 0; round < 100 && (round == 0 || !Quiet()); ++round) {
            Player->Engine().PollNow();
            while (!Steps->Worker.empty() || !Steps->Answers.empty()) {
                RunOne(Steps->Worker);
                RunOne(Steps->Answers);
                if (std::string broken = Check(); !broken.empty()) return broken;
            }
        }
        return Check();
    }

private:
    void RunOne(std::deque<std::function<void()>>& q) {
        if (q.empty()) return;
        auto fn = std::move(q.front());
        q.pop_front();
        fn();
        // The worker has looked at the device since the clock last moved.
        if (&q == &Steps->Worker && q.empty()) Looked = true;
    }

    bool Quiet() const {
        return Looked && Steps->Worker.empty() && Steps->Answers.empty() &&
               !Player->Engine().Busy();
    }

    // Nothing under way and the device looked at: it does what the session says.
    std::string Agreement() {
        const TPlaybackControl& c = Session->Device();
        const TMPModes mode = Device->Mode();
        const QString path = Player->Library.FilePath(Session->FolderIndex(), Session->FileIndex());
        if (c.IsOpen() && Device->OpenPath != path)
            return "the device plays " + Device->OpenPath.toStdString() + ", the session shows " +
                   path.toStdString();
        if (Session->State() == TPlayState::Playing && mode != TMPModes::mpPlaying)
            return "the session says Playing, the device doesn't play";
        if (Session->State() != TPlayState::Playing && mode == TMPModes::mpPlaying)
            return "the session says Stopped or Paused, the device plays";
        return {};
    }

    std::string Check() {
        if (Closed && Told != *Closed) return "the session changed after its close";
        if (const QString broken = Session->BrokenRule(); !broken.isEmpty())
            return broken.toStdString();
        if (!Session->Closed() && Quiet())
            if (std::string broken = Agreement(); !broken.empty()) return broken;
        // The saved place is the resumed file's, and no other's.
        const QStringList& log = Device->Log;
        for (; Seen < log.size(); ++Seen) {
            if (log[Seen].startsWith(QStringLiteral("Open "))) LastOpen = log[Seen].mid(5);
            if (log[Seen] == QStringLiteral("Seek %1").arg(kSavedMs) && LastOpen != Resumed)
                return "the saved place went to " + LastOpen.toStdString();
        }
        return {};
    }

    QStringList Files;
    std::shared_ptr<TEngineSteps> Steps = std::make_shared<TEngineSteps>();
    TScriptedMediaDevice* Device = nullptr;
    std::shared_ptr<TFakeClock> Clock;
    std::unique_ptr<TFormPlayer> Player;
    std::unique_ptr<TSession> Session;
    TResume Saved;
    QString Resumed;
    int Told = 0;
    std::optional<int> Closed; // what had been told at the close
    qsizetype Seen = 0;
    QString LastOpen;
    bool Looked = true;
};

TSteps Generate(std::uint32_t seed, int length) {
    std::mt19937 rng(seed ^ 0x9e3779b9u);
    TSteps steps;
    for (int i = 0; i < length; ++i) {
        const int r = static_cast<int>(rng() % 1000);
        const int arg = static_cast<int>(rng() % 1000);
        // Mostly the machinery between the commands, so that they meet its every moment; of
        // the commands mostly those that act on the file playing.
        static const TOp commands[] = {
            TOp::Play,  TOp::Play,  TOp::Play,     TOp::Seek,   TOp::Seek,  TOp::Seek,  TOp::Seek,
            TOp::Pause, TOp::Pause, TOp::Stop,     TOp::Next,   TOp::Next,  TOp::Prior, TOp::Folder,
            TOp::File,  TOp::Open,  TOp::HandOver, TOp::Repeat, TOp::Repeat};
        const TOp op = r < 250   ? TOp::Worker
                       : r < 500 ? TOp::Deliver
                       : r < 720 ? TOp::Tick
                       : r < 750 ? TOp::Settle
                       : r < 753 ? TOp::Close
                                 : commands[rng() % std::size(commands)];
        steps.push_back({op, arg});
    }
    steps.push_back({TOp::Settle, 0});
    return steps;
}

class Interleavings : public ::testing::Test {
protected:
    void SetUp() override {
        OldHandler = SetMessageHandler([](const TMessage&) {});
        for (int f = 0; f < 3; ++f)
            for (int i = 0; i < 3; ++i) {
                const std::string name = "lib/F" + std::to_string(f) + "/t" + std::to_string(i);
                WriteFile(Dir / (name + ".mp3"), "not really audio");
                Files << QString::fromStdString(Dir / (name + ".mp3"));
            }
        Root = QString::fromStdString(Dir / "lib");
    }
    void TearDown() override { SetMessageHandler(OldHandler); }

    // The step at which the sequence breaks a rule (and which), else -1.
    std::pair<int, std::string> Replay(std::uint32_t seed, const TSteps& steps) {
        TInterleaving run(Root, Files, seed);
        for (size_t i = 0; i < steps.size(); ++i)
            if (std::string broken = run.Run(steps[i]); !broken.empty())
                return {static_cast<int>(i), broken};
        return {-1, {}};
    }

    // Drops steps, whole runs of them first, as long as the sequence still fails.
    TSteps Shrink(std::uint32_t seed, TSteps steps) {
        for (size_t chunk = steps.size() / 2; chunk >= 1; chunk /= 2) {
            for (size_t at = 0; at + chunk <= steps.size();) {
                TSteps fewer = steps;
                fewer.erase(fewer.begin() + static_cast<long>(at),
                            fewer.begin() + static_cast<long>(at + chunk));
                if (Replay(seed, fewer).first >= 0)
                    steps = std::move(fewer);
                else
                    at += chunk;
            }
        }
        return steps;
    }

    TTempDir Dir;
    QStringList Files;
    QString Root;
    TMessageHandler OldHandler;
};

TEST_F(Interleavings, TheRulesHoldWhateverComesFirst) {
    const QByteArray env = qgetenv("VELODRA_INTERLEAVINGS");
    const int count = env.isEmpty() ? 1000 : env.toInt();
    int failures = 0;
    for (std::uint32_t seed = 1; seed <= static_cast<std::uint32_t>(count) && failures < 3;
         ++seed) {
        const TSteps steps = Generate(seed, 120);
        const auto [at, broken] = Replay(seed, steps);
        if (at < 0) continue;
        ++failures;
        const TSteps shortest = Shrink(seed, TSteps(steps.begin(), steps.begin() + at + 1));
        std::string text;
        for (const TStep& s : shortest)
            text +=
                std::string(OpNames[static_cast<int>(s.Op)]) + "(" + std::to_string(s.Arg) + ") ";
        ADD_FAILURE() << "seed " << seed << ": " << Replay(seed, shortest).second
                      << "\n  shortest: " << text;
    }
}

} // namespace
