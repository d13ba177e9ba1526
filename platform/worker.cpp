#include "platform/worker.h"

#include "engine/formats/decodedrows.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <algorithm>

namespace orbisk {

void TWorker::TRun::Post(std::function<void()> Fn) const {
  if (!FState || !FState->Owner) return;
  QMetaObject::invokeMethod(
      FState->Owner.data(),
      [State = FState, Fn = std::move(Fn)] {
        if (State->Current->load() == State->Id && !State->Cancel.load()) Fn();
      },
      Qt::QueuedConnection);
}

TWorker::TWorker(QObject* Owner, int Threads)
    : FOwner(Owner), FThreads(Threads > 0 ? Threads : std::max(1, CodecThreadCount())) {}

TWorker::~TWorker() {
  Stop();
}

uint64_t TWorker::Start(TJob Job, std::function<void()> Wake) {
  Stop();
  auto State = std::make_shared<TRun::TState>();
  State->Id = FNextId++;
  State->Current = FCurrent;
  State->Owner = FOwner;
  FRun = State;
  FWake = std::move(Wake);
  FCurrent->store(State->Id);
  TRun Run;
  Run.FState = State;
  FPool.reserve(size_t(FThreads));
  for (int I = 0; I < FThreads; ++I)
    FPool.emplace_back([Job, Run, I] { Job(Run, I); });
  return State->Id;
}

void TWorker::Cancel() {
  FCurrent->store(0);
  if (FRun) FRun->Cancel.store(true);
  if (FWake) FWake();
}

void TWorker::Finish(uint64_t Run) {
  uint64_t Expected = Run;
  FCurrent->compare_exchange_strong(Expected, 0);
}

void TWorker::Wait() {
  for (std::thread& T : FPool) {
    if (!T.joinable()) continue;
    if (T.get_id() == std::this_thread::get_id())
      T.detach(); // a job that ends its own worker
    else
      T.join();
  }
  FPool.clear();
}

void TWorker::Stop() {
  Cancel();
  Wait();
}

void TWorker::WaitAndDeliver() {
  Wait();
  if (FOwner) QCoreApplication::sendPostedEvents(FOwner.data(), QEvent::MetaCall);
}

} // namespace orbisk
