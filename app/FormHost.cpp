#include "app/FormHost.h"

#include <QtGlobal>

namespace pelmora::app {

FormHost::~FormHost()
{
    for (auto& [type, entry] : m_entries)
        delete entry.form.data();
}

platform::Form& FormHost::getForm(std::type_index type)
{
    auto it = m_entries.find(type);
    if (it == m_entries.end())
        qFatal("FormHost: a form was used that was never registered");
    Entry& entry = it->second;
    if (entry.form && !entry.form->isUnloaded())
        return *entry.form;

    platform::Form* form = entry.create();
    // Registered before Form_Load runs, so code reached from inside Form_Load finds this form.
    entry.form = form;
    QObject::connect(form, &platform::Form::unloaded, form, [this, type, form] {
        auto found = m_entries.find(type);
        if (found != m_entries.end() && found->second.form == form)
            found->second.form.clear();
    });
    form->Form_Load();
    return *form;
}

platform::Form* FormHost::peekForm(std::type_index type) const
{
    const auto it = m_entries.find(type);
    if (it == m_entries.end() || !it->second.form || it->second.form->isUnloaded())
        return nullptr;
    return it->second.form.data();
}

void FormHost::showForm(platform::Form& form)
{
    form.show();
    form.raise();
    form.activateWindow();
}

} // namespace pelmora::app
