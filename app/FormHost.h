#pragma once

#include "platform/forms/Form.h"

#include <QPointer>

#include <functional>
#include <typeindex>
#include <unordered_map>

namespace pelmora::app {

// Creates the program's windows on first use, as the program expects of them: reaching a window
// that is not loaded creates it hidden and runs its loadContents; it then stays, hidden or shown,
// until it unloads itself, and the next use creates it anew. Every place that may bring a window
// back to life is therefore a visible get<…>() call.
class FormHost {
public:
    FormHost() = default;
    FormHost(const FormHost&) = delete;
    FormHost& operator=(const FormHost&) = delete;
    // Destroys the forms still loaded, without running their unload handling.
    ~FormHost();

    template <typename T>
    void registerForm(std::function<T*()> create)
    {
        m_entries[typeid(T)].create = [create = std::move(create)]() -> platform::Form* {
            return create();
        };
    }

    // The loaded form, created hidden (and loaded) if it does not exist.
    template <typename T>
    T& get()
    {
        return static_cast<T&>(getForm(typeid(T)));
    }

    // The loaded form, or nullptr; never creates.
    template <typename T>
    T* peek() const
    {
        return static_cast<T*>(peekForm(typeid(T)));
    }

    // Gets the form and shows it modeless, bringing it forward.
    template <typename T>
    T& show()
    {
        T& form = get<T>();
        showForm(form);
        return form;
    }

private:
    struct Entry {
        std::function<platform::Form*()> create;
        QPointer<platform::Form> form;
    };

    platform::Form& getForm(std::type_index type);
    platform::Form* peekForm(std::type_index type) const;
    void showForm(platform::Form& form) const;
    void placeClearOfOtherForms(platform::Form& form) const;

    std::unordered_map<std::type_index, Entry> m_entries;
};

} // namespace pelmora::app
