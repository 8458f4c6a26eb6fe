// Asynchronous host and service lookups. Each request runs on a worker of its own, which only
// resolves and queues its answer. The thread that made the requests (the UI thread) is woken
// through an eventfd and, there, writes each answer into its caller's buffer and posts the
// completion: the buffer is never touched by another thread, and a request cancelled before
// that moment is neither written nor posted, even when its worker has already finished.
#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/sync/messages.h"
#include "platform/sync/wakeup.h"
#include "platform/winsock/entries.h"
#include "platform/winsock/posix.h"
#include "platform/winsock/winsock.h"

namespace winsock {
namespace {

std::mutex g_resolverLock;
THostResolver& HostResolver() {
  static THostResolver resolver;
  return resolver;
}
TServiceResolver& ServiceResolver() {
  static TServiceResolver resolver;
  return resolver;
}
THostResolver CurrentHostResolver() {
  std::lock_guard lock(g_resolverLock);
  return HostResolver();
}
TServiceResolver CurrentServiceResolver() {
  std::lock_guard lock(g_resolverLock);
  return ServiceResolver();
}

struct TRequest {
  HWND window = 0;
  UINT message = 0;
  char* buffer = nullptr;
  int length = 0;
  bool host = true;
  std::string name;
  std::string protocol;
};

struct TAnswer {
  HANDLE handle = 0;
  THostAnswer host;
  TServiceAnswer service;
};

// What workers share with the UI thread. A worker keeps its own hold on it, so one that is
// abandoned at exit (its resolver still waiting) finds everything it touches still there.
struct TShared {
  ~TShared() {
    if (wake >= 0) posix::Close(wake);
  }
  std::mutex lock;
  std::unordered_map<HANDLE, TRequest> pending;  // issued, neither delivered nor cancelled
  std::vector<TAnswer> answers;                  // resolved, waiting for the UI thread
  int wake = -1;
};

class TLookups {
 public:
  ~TLookups() {
    std::vector<TWorker> workers;
    {
      std::lock_guard lock(shared_->lock);
      shared_->pending.clear();  // nobody is left to receive a reply
      workers.swap(workers_);
    }
    // The program ends now, not when a slow resolver (a DNS time-out: tens of seconds) answers:
    // a worker still waiting is left to the end of the process.
    for (auto& w : workers) {
      if (*w.done)
        w.thread.join();
      else
        w.thread.detach();
    }
  }

  HANDLE Start(TRequest request) {
    std::lock_guard lock(shared_->lock);
    if (!Watching()) return 0;
    Reap();
    const HANDLE handle = next_++;
    const TRequest copy = request;
    shared_->pending.emplace(handle, std::move(request));
    auto done = std::make_shared<std::atomic<bool>>(false);
    // Taken here, on the requesting thread: a worker never reads the resolver slot itself.
    TResolve resolve;
    if (copy.host)
      resolve.host = CurrentHostResolver();
    else
      resolve.service = CurrentServiceResolver();
    try {
      workers_.push_back({std::thread([shared = shared_, handle, copy, resolve, done] {
                            Work(*shared, handle, copy, resolve, *done);
                          }),
                          done});
    } catch (const std::system_error&) {
      shared_->pending.erase(handle);
      WSASetLastError(WSAENOBUFS);
      return 0;
    }
    return handle;
  }

  int Cancel(HANDLE handle) {
    std::lock_guard lock(shared_->lock);
    if (shared_->pending.erase(handle) != 0) return 0;
    WSASetLastError(handle != 0 && handle < next_ ? WSAEALREADY : WSAEINVAL);
    return SOCKET_ERROR;
  }

 private:
  struct TWorker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  struct TResolve {
    THostResolver host;
    TServiceResolver service;
  };

  // The wake-up counter and its notifier, made on the first request's (the UI) thread. The
  // notifier belongs to the application object, which outlives every window that can ask.
  bool Watching() {
    if (notifier_) return true;
    int error = 0;
    if (shared_->wake < 0 && (shared_->wake = posix::OpenWakeup(error)) < 0) {
      WSASetLastError(error);
      return false;
    }
    notifier_ = new QSocketNotifier(shared_->wake, QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier_.data(), &QSocketNotifier::activated, [this] { Deliver(); });
    return true;
  }

  static void Work(TShared& shared, HANDLE handle, const TRequest& request, const TResolve& resolve,
                   std::atomic<bool>& done) {
    TAnswer answer;
    answer.handle = handle;
    if (request.host)
      answer.host = resolve.host ? resolve.host(request.name) : posix::ResolveHost(request.name);
    else
      answer.service = resolve.service ? resolve.service(request.name, request.protocol)
                                       : posix::ResolveService(request.name, request.protocol);
    {
      std::lock_guard lock(shared.lock);
      shared.answers.push_back(std::move(answer));
      SignalWakeup(shared.wake);
    }
    done = true;
  }

  // On the UI thread.
  void Deliver() {
    DrainWakeup(shared_->wake);
    std::lock_guard lock(shared_->lock);
    for (const TAnswer& a : shared_->answers) {
      auto it = shared_->pending.find(a.handle);
      if (it == shared_->pending.end()) continue;  // cancelled
      const TRequest& r = it->second;
      int error = r.host ? a.host.error : a.service.error;
      int needed = 0;
      if (error == 0) {
        needed = r.host ? LayOutHostEntry(a.host, r.buffer, r.length)
                        : LayOutServiceEntry(a.service, r.protocol, r.buffer, r.length);
        if (needed > r.length) error = WSAENOBUFS;
      }
      PostMessageA(r.window, r.message, a.handle, WSAMAKEASYNCREPLY(std::min(needed, 0xFFFF), error));
      shared_->pending.erase(it);
    }
    shared_->answers.clear();
  }

  // Joins workers that have finished, so that threads do not pile up.
  void Reap() {
    auto finished =
        std::partition(workers_.begin(), workers_.end(), [](const TWorker& w) { return !*w.done; });
    for (auto it = finished; it != workers_.end(); ++it) it->thread.join();
    workers_.erase(finished, workers_.end());
  }

  std::shared_ptr<TShared> shared_ = std::make_shared<TShared>();
  HANDLE next_ = 1;
  std::vector<TWorker> workers_;
  QPointer<QSocketNotifier> notifier_;
};

TLookups& Lookups() {
  static TLookups lookups;
  return lookups;
}

HANDLE StartLookup(TRequest request) {
  if (request.window == 0 || request.buffer == nullptr || request.length <= 0) {
    WSASetLastError(WSAEINVAL);
    return 0;
  }
  return Lookups().Start(std::move(request));
}

}  // namespace

THostResolver ExchangeHostResolver(THostResolver resolver) {
  std::lock_guard lock(g_resolverLock);
  std::swap(HostResolver(), resolver);
  return resolver;
}

TServiceResolver ExchangeServiceResolver(TServiceResolver resolver) {
  std::lock_guard lock(g_resolverLock);
  std::swap(ServiceResolver(), resolver);
  return resolver;
}

THostAnswer ResolveHostNow(const std::string& name) {
  const THostResolver resolver = CurrentHostResolver();
  return resolver ? resolver(name) : posix::ResolveHost(name);
}

TServiceAnswer ResolveServiceNow(const std::string& name, const std::string& protocol) {
  const TServiceResolver resolver = CurrentServiceResolver();
  return resolver ? resolver(name, protocol) : posix::ResolveService(name, protocol);
}

HANDLE WSAAsyncGetHostByName(HWND window, UINT message, const char* name, char* buffer, int bufferLength) {
  if (name == nullptr) {
    WSASetLastError(WSAEFAULT);
    return 0;
  }
  return StartLookup({window, message, buffer, bufferLength, true, name, {}});
}

HANDLE WSAAsyncGetServByName(HWND window, UINT message, const char* name, const char* protocol, char* buffer,
                             int bufferLength) {
  if (name == nullptr) {
    WSASetLastError(WSAEFAULT);
    return 0;
  }
  return StartLookup({window, message, buffer, bufferLength, false, name, protocol ? protocol : ""});
}

int WSACancelAsyncRequest(HANDLE request) { return Lookups().Cancel(request); }

hostent* gethostbyname(const char* name) {
  alignas(std::max_align_t) thread_local char entry[MAXGETHOSTSTRUCT];
  if (name == nullptr) return WSASetLastError(WSAEFAULT), nullptr;
  const THostAnswer answer = ResolveHostNow(name);
  if (answer.error != 0) return WSASetLastError(answer.error), nullptr;
  if (LayOutHostEntry(answer, entry, sizeof entry) > int(sizeof entry))
    return WSASetLastError(WSAENOBUFS), nullptr;
  return reinterpret_cast<hostent*>(entry);
}

servent* getservbyname(const char* name, const char* protocol) {
  alignas(std::max_align_t) thread_local char entry[MAXGETHOSTSTRUCT];
  if (name == nullptr) return WSASetLastError(WSAEFAULT), nullptr;
  const std::string proto = protocol ? protocol : "";
  const TServiceAnswer answer = ResolveServiceNow(name, proto);
  if (answer.error != 0) return WSASetLastError(answer.error), nullptr;
  if (LayOutServiceEntry(answer, proto, entry, sizeof entry) > int(sizeof entry))
    return WSASetLastError(WSAENOBUFS), nullptr;
  return reinterpret_cast<servent*>(entry);
}

}  // namespace winsock
