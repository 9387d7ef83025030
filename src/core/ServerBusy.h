#pragma once

#include <atomic>

namespace kestrelon {

// serverBusy: raised while a web request is handled or a snapshot upload runs; the snapshot pass
// skips its turn while it is raised. A count, so that the first of several parallel requests to
// end does not lower it for the others. Thread-safe.
class ServerBusy {
public:
    // Lowers the flag once when destroyed (or reset), whichever way the work ends.
    class Token {
    public:
        Token() = default;
        explicit Token(ServerBusy* owner) : m_owner(owner) {}
        Token(Token&& other) noexcept : m_owner(other.m_owner) { other.m_owner = nullptr; }
        Token& operator=(Token&& other) noexcept
        {
            if (this != &other) {
                reset();
                m_owner = other.m_owner;
                other.m_owner = nullptr;
            }
            return *this;
        }
        Token(const Token&) = delete;
        Token& operator=(const Token&) = delete;
        ~Token() { reset(); }
        void reset()
        {
            if (m_owner) {
                m_owner->m_count.fetch_sub(1, std::memory_order_acq_rel);
                m_owner = nullptr;
            }
        }

    private:
        ServerBusy* m_owner = nullptr;
    };

    Token raise()
    {
        m_count.fetch_add(1, std::memory_order_acq_rel);
        return Token(this);
    }
    bool serverBusy() const { return m_count.load(std::memory_order_acquire) > 0; }
    int count() const { return m_count.load(std::memory_order_acquire); }

private:
    std::atomic<int> m_count{0};
};

} // namespace kestrelon
