#include "runtime/core/thread.h"

#include <pthread.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>

#include "runtime/core/assert.h"

namespace rt {

namespace {

// Sanitizers and the GUI marshalling need deeper stacks than old programs ask for.
constexpr std::size_t kLeastStack = 1024 * 1024;

struct Registry {
  std::mutex mutex;
  std::vector<detail::SlotType> slotTypes;
  // Slot numbers in build and destroy order; empty: as registered, and the reverse.
  std::vector<std::size_t> buildOrder;
  std::vector<std::size_t> destroyOrder;
  std::map<Long, detail::ThreadState*> running;
  Long nextNumber = 1;
  std::size_t startedRunning = 0;
  std::condition_variable startedEnded;
};

Registry& TheRegistry() {
  static Registry registry;  // the runtime's thread table, one per process
  return registry;
}

thread_local detail::ThreadState* tCurrent = nullptr;

// State for an OS thread that is not a program thread: number 0, instances built on first use and
// destroyed when the OS thread ends.
detail::ThreadState& UnnumberedState() {
  thread_local detail::ThreadState state;
  return state;
}

struct SlotPlan {
  std::vector<detail::SlotType> types;
  std::vector<std::size_t> order;
};

SlotPlan PlanSlots(bool build) {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  SlotPlan plan{registry.slotTypes, build ? registry.buildOrder : registry.destroyOrder};
  if (plan.order.size() != plan.types.size()) {
    plan.order.resize(plan.types.size());
    for (std::size_t i = 0; i < plan.order.size(); ++i) plan.order[i] = build ? i : plan.order.size() - 1 - i;
  }
  return plan;
}

std::vector<detail::SlotType> SlotTypesSnapshot() {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  return registry.slotTypes;
}

// Slot numbers in the order `names` lists them, or an empty list (and an assertion) when a
// registered slot is missing or named twice. Names of slots not registered are passed over.
std::vector<std::size_t> ResolveOrder(const std::vector<detail::SlotType>& types, const std::vector<std::string>& names,
                                      const char* which) {
  std::vector<std::size_t> order;
  std::vector<bool> named(types.size(), false);
  for (const std::string& name : names) {
    const auto found = std::find_if(types.begin(), types.end(), [&](const detail::SlotType& t) { return t.name == name; });
    if (found == types.end()) continue;  // a module this binary does not link
    const std::size_t slot = static_cast<std::size_t>(found - types.begin());
    if (named[slot]) {
      RT_ASSERT(false, std::string(which) + " order names a per-thread object twice: " + name);
      return {};
    }
    named[slot] = true;
    order.push_back(slot);
  }
  for (std::size_t slot = 0; slot < types.size(); ++slot)
    if (!named[slot]) {
      RT_ASSERT(false, std::string(which) + " order leaves out the per-thread object " + types[slot].name);
      return {};
    }
  return order;
}

// Runs on the owning thread. The constructor runs outside the lock: it may reach other slots.
void BuildSlot(detail::ThreadState& state, std::size_t slot, const detail::SlotType& type) {
  if (slot < state.instances.size() && state.instances[slot]) return;
  std::shared_ptr<void> made = type.make();
  std::lock_guard lock(state.instancesMutex);
  if (state.instances.size() <= slot) state.instances.resize(slot + 1);
  if (!state.instances[slot]) state.instances[slot] = std::move(made);
}

void BuildAll(detail::ThreadState& state) {
  const SlotPlan plan = PlanSlots(true);
  for (std::size_t slot : plan.order) BuildSlot(state, slot, plan.types[slot]);
}

// Runs on the owning thread. Each instance is taken out under the lock and destroyed outside it.
void DestroyAll(detail::ThreadState& state) {
  const SlotPlan plan = PlanSlots(false);
  for (std::size_t slot : plan.order) {
    std::shared_ptr<void> instance;
    {
      std::lock_guard lock(state.instancesMutex);
      if (state.destroyed.size() <= slot) state.destroyed.resize(plan.types.size());
      state.destroyed[slot] = true;
      if (slot < state.instances.size()) instance = std::move(state.instances[slot]);
    }
  }
  std::vector<std::shared_ptr<void>> rebuilt;  // built again by a destructor that used its slot
  {
    std::lock_guard lock(state.instancesMutex);
    rebuilt.swap(state.instances);
  }
}

struct StartedThread {
  std::function<void()> procedure;
  Long number;
};

Long ReserveNumber() {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  return registry.nextNumber++;
}

void* RunStarted(void* argument) {
  std::unique_ptr<StartedThread> started(static_cast<StartedThread*>(argument));
  {
    ThreadScope scope(ThreadScope::Reserved{started->number});
    started->procedure();
  }
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  --registry.startedRunning;
  registry.startedEnded.notify_all();
  return nullptr;
}

}  // namespace

namespace detail {

std::size_t RegisterSlot(SlotType type) {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  registry.slotTypes.push_back(std::move(type));
  return registry.slotTypes.size() - 1;
}

ThreadState& CurrentThreadState() { return tCurrent ? *tCurrent : UnnumberedState(); }

void* SlotInstance(std::size_t slot) {
  ThreadState& state = CurrentThreadState();
  if (slot >= state.instances.size() || !state.instances[slot]) {
    const std::vector<SlotType> types = SlotTypesSnapshot();
    RT_ASSERT(slot >= state.destroyed.size() || !state.destroyed[slot],
              "per-thread " + types[slot].name + " used after its thread destroyed it");
    BuildSlot(state, slot, types[slot]);
  }
  return state.instances[slot].get();
}

std::shared_ptr<void> SlotInstanceOf(std::size_t slot, Long thread) {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  const auto found = registry.running.find(thread);
  if (found == registry.running.end()) return nullptr;
  ThreadState& state = *found->second;
  std::lock_guard stateLock(state.instancesMutex);
  return slot < state.instances.size() ? state.instances[slot] : nullptr;
}

}  // namespace detail

bool DeclareThreadOrder(const ThreadOrder& order) {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  const std::size_t slots = registry.slotTypes.size();
  std::vector<std::size_t> build = ResolveOrder(registry.slotTypes, order.build, "build");
  if (build.size() != slots) return false;
  std::vector<std::size_t> destroy = ResolveOrder(registry.slotTypes, order.destroy, "destroy");
  if (destroy.size() != slots) return false;
  registry.buildOrder = std::move(build);
  registry.destroyOrder = std::move(destroy);
  return true;
}

ThreadScope::ThreadScope() : ThreadScope(Reserved{ReserveNumber()}) {}

ThreadScope::ThreadScope(Reserved number) {
  RT_ASSERT(tCurrent == nullptr, "ThreadScope opened on a thread that already is a program thread");
  auto state = std::make_unique<detail::ThreadState>();
  state->number = number.number;
  {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    registry.running[state->number] = state.get();
  }
  number_ = state->number;
  tCurrent = state.release();
  BuildAll(*tCurrent);
}

ThreadScope::~ThreadScope() {
  DestroyAll(*tCurrent);
  std::unique_ptr<detail::ThreadState> state(tCurrent);
  tCurrent = nullptr;
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  registry.running.erase(number_);
}

Long Thread() { return detail::CurrentThreadState().number; }

Long Start(std::function<void()> procedure, std::size_t stackSize) {
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, std::max(stackSize, kLeastStack));
  pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);

  Registry& registry = TheRegistry();
  const Long number = ReserveNumber();
  {
    std::lock_guard lock(registry.mutex);
    ++registry.startedRunning;
  }
  auto started = std::make_unique<StartedThread>(StartedThread{std::move(procedure), number});
  pthread_t handle;
  const int failed = pthread_create(&handle, &attributes, &RunStarted, started.get());
  pthread_attr_destroy(&attributes);
  if (failed) {
    std::lock_guard lock(registry.mutex);
    --registry.startedRunning;
    RT_ASSERT(false, "START could not create a thread");
    return 0;
  }
  started.release();  // the new thread owns it now
  return number;
}

std::size_t RunningThreadCount() {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  return registry.running.size();
}

bool WaitForStartedThreads(std::chrono::milliseconds timeout) {
  Registry& registry = TheRegistry();
  std::unique_lock lock(registry.mutex);
  return registry.startedEnded.wait_for(lock, timeout, [&] { return registry.startedRunning == 0; });
}

}  // namespace rt
