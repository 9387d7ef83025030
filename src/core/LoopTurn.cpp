#include "core/LoopTurn.h"

#include <algorithm>
#include <utility>

namespace kestrelon {

namespace {

thread_local LoopTurn* t_turn = nullptr;

} // namespace

LoopTurn::LoopTurn(Post post) : m_post(std::move(post)), m_outer(t_turn)
{
    t_turn = this;
}

LoopTurn::~LoopTurn()
{
    runWaiting();
    t_turn = m_outer;
}

bool LoopTurn::active()
{
    return t_turn != nullptr;
}

bool LoopTurn::defer(Task task)
{
    LoopTurn* turn = t_turn;
    if (!turn) {
        return false;
    }
    if (std::find(turn->m_waiting.begin(), turn->m_waiting.end(), task) == turn->m_waiting.end()) {
        turn->m_waiting.push_back(task);
    }
    if (!turn->m_posted) {
        turn->m_posted = true;
        // The posted call finds the thread's present LoopTurn itself: one that ran its tasks
        // already (or a later one on the same thread) simply has nothing waiting.
        turn->m_post(&LoopTurn::runWaiting);
    }
    return true;
}

void LoopTurn::runWaiting()
{
    LoopTurn* turn = t_turn;
    if (!turn) {
        return;
    }
    turn->m_posted = false;
    // A task may defer again (for the next turn): it goes into a fresh list.
    std::vector<Task> tasks;
    tasks.swap(turn->m_waiting);
    for (Task task : tasks) {
        task();
    }
    if (turn->m_waiting.empty()) {
        turn->m_waiting.swap(tasks);
        turn->m_waiting.clear(); // keeps the room
    }
}

} // namespace kestrelon
