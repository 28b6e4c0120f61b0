#pragma once
// A published property of an observable object: every write announces itself to the
// observers before the value changes (even when the new value is equal), the way the
// interface learns that it must redraw. Used from the main thread only.
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace pk {

// The observers of one announcement, called in the order they were added. An observer may
// add or remove observers, itself included, while it is called: a removed one is not
// called again and lives until its running call returns; an added one is called from the
// same announcement on. Used from one thread only.
template <class... Args>
class ObserverList {
public:
    using Observer = std::function<void(Args...)>;

    int observe(Observer fn) {
        entries_.push_back({nextId_, std::make_shared<Observer>(std::move(fn))});
        return nextId_++;
    }
    void removeObserver(int id) {
        for (auto& e : entries_)
            if (e.id == id) e.fn.reset();
        if (sending_ == 0) std::erase_if(entries_, [](const Entry& e) { return !e.fn; });
    }
    void send(Args... args) {
        ++sending_;
        struct Done {
            int& sending;
            ~Done() { --sending; }
        } done{sending_};
        // By index, each call through its own reference: the list may change meanwhile.
        for (size_t i = 0; i < entries_.size(); ++i)
            if (const std::shared_ptr<Observer> fn = entries_[i].fn) (*fn)(args...);
    }

private:
    struct Entry {
        int id;
        std::shared_ptr<Observer> fn;
    };
    std::vector<Entry> entries_;
    int nextId_ = 1;
    int sending_ = 0;
};

template <class T>
class Published {
public:
    using Observer = typename ObserverList<const T&>::Observer;

    Published() = default;
    explicit Published(T initial) : value_(std::move(initial)) {}
    Published(const Published&) = delete;
    Published& operator=(const Published&) = delete;

    const T& get() const { return value_; }
    const T& operator*() const { return value_; }
    const T* operator->() const { return &value_; }
    operator const T&() const { return value_; }

    void set(T v) {
        observers_.send(v);
        value_ = std::move(v);
    }
    Published& operator=(T v) {
        set(std::move(v));
        return *this;
    }
    // Changes the value in place through fn, announcing first.
    template <class Fn>
    void modify(Fn&& fn) {
        T copy = value_;
        fn(copy);
        set(std::move(copy));
    }

    int observe(Observer fn) { return observers_.observe(std::move(fn)); }
    void removeObserver(int id) { observers_.removeObserver(id); }

private:
    T value_{};
    ObserverList<const T&> observers_;
};

}  // namespace pk
