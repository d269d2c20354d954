#include <qrn/foundation/board.h>

#include <algorithm>
#include <mutex>
#include <vector>

namespace {
struct BoardList {
  std::recursive_mutex m;
  std::vector<std::unique_ptr<qcBoard>> boards;
  std::function<void()> hook;
  bool hookRan = false;
  bool hookRunning = false;
};
BoardList& list() {
  static BoardList* l = new BoardList;  // boards live as long as the process
  return *l;
}
// Runs the load hook once, outside of nothing but the list lock (recursive,
// so a hook may add boards).
void ensureLoaded(BoardList& l) {
  std::lock_guard<std::recursive_mutex> g(l.m);
  if (l.hookRan || l.hookRunning) return;
  l.hookRunning = true;
  try {
    if (l.hook) l.hook();
  } catch (...) {
    l.hookRunning = false;
    l.hookRan = true;
    throw;
  }
  l.hookRunning = false;
  l.hookRan = true;
}
}  // namespace

qcBoard::~qcBoard() = default;

long qcBoard::count() {
  BoardList& l = list();
  ensureLoaded(l);
  std::lock_guard<std::recursive_mutex> g(l.m);
  return static_cast<long>(l.boards.size());
}

qcBoard& qcBoard::get(long index) {
  BoardList& l = list();
  ensureLoaded(l);
  std::lock_guard<std::recursive_mutex> g(l.m);
  if (index < 0 || index >= static_cast<long>(l.boards.size())) throw BadParams();
  return *l.boards[static_cast<std::size_t>(index)];
}

qcBoard& qcBoard::add(std::unique_ptr<qcBoard> board) {
  BoardList& l = list();
  ensureLoaded(l);
  std::lock_guard<std::recursive_mutex> g(l.m);
  if (!board) throw BadParams();
  l.boards.push_back(std::move(board));
  return *l.boards.back();
}

bool qcBoard::remove(const qcBoard& board) {
  BoardList& l = list();
  std::lock_guard<std::recursive_mutex> g(l.m);
  auto it = std::find_if(l.boards.begin(), l.boards.end(), [&](const auto& b) { return b.get() == &board; });
  if (it == l.boards.end()) return false;
  l.boards.erase(it);
  return true;
}

void qcBoard::clear_() {
  BoardList& l = list();
  std::lock_guard<std::recursive_mutex> g(l.m);
  l.boards.clear();
}

void qcBoard::setLoadHook(std::function<void()> hook) {
  BoardList& l = list();
  std::lock_guard<std::recursive_mutex> g(l.m);
  l.hook = std::move(hook);
}

void qcBoard::runLoadHook() { ensureLoaded(list()); }

QC_REGISTER_PERSISTENT(qcBoard::BadParams);
