#pragma once
// Watching many directories with inotify. Adding ten thousand watches takes a while, so they
// are added on a worker; the events are read here and told as one Changed per burst read.
#include <QByteArrayList>
#include <QObject>
#include <atomic>
#include <memory>
#include <thread>

class QSocketNotifier;

class TDirWatch : public QObject {
    Q_OBJECT

public:
    explicit TDirWatch(QObject* parent = nullptr);
    ~TDirWatch() override;

    // Replaces what is watched with these directories (encoded names).
    void Watch(QByteArrayList dirs);
    void Clear();
    // Watches in place so far.
    int Count() const { return Added ? Added->load() : 0; }

signals:
    // An entry of a watched directory was made, removed or renamed, or the directory itself.
    void Changed();

private:
    void Close();
    int Fd = -1;
    QSocketNotifier* Notifier = nullptr;
    std::shared_ptr<std::atomic<bool>> Stop;
    std::shared_ptr<std::atomic<int>> Added;
    std::thread Adder;
};
