#include "app/FormHost.h"

#include <QScreen>
#include <QtGlobal>

#include <algorithm>

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
    // Registered before loadContents runs, so code reached from inside loadContents finds this form.
    entry.form = form;
    QObject::connect(form, &platform::Form::unloaded, form, [this, type, form] {
        auto found = m_entries.find(type);
        if (found != m_entries.end() && found->second.form == form)
            found->second.form.clear();
    });
    form->loadContents();
    return *form;
}

platform::Form* FormHost::peekForm(std::type_index type) const
{
    const auto it = m_entries.find(type);
    if (it == m_entries.end() || !it->second.form || it->second.form->isUnloaded())
        return nullptr;
    return it->second.form.data();
}

void FormHost::showForm(platform::Form& form) const
{
    if (!form.isVisible() && !form.testAttribute(Qt::WA_Moved))
        placeClearOfOtherForms(form);
    form.show();
    form.raise();
    // A form that must not take the keyboard (the notice board) says so itself.
    if (!form.testAttribute(Qt::WA_ShowWithoutActivating))
        form.activateWindow();
}

void FormHost::placeClearOfOtherForms(platform::Form& form) const
{
    // Qt would centre every dialog on the screen, so two that open together (the server and the
    // account dialog on a first run) would cover each other: the later one moves beside the other.
    const QScreen* screen = form.screen();
    if (!screen)
        return;
    constexpr int kGap = 16;
    const QRect area = screen->availableGeometry();
    QRect place(QPoint(), form.frameGeometry().size());
    place.moveCenter(area.center());
    for (const auto& [type, entry] : m_entries) {
        const platform::Form* other = entry.form.data();
        if (!other || other == &form || !other->isVisible())
            continue;
        const QRect taken = other->frameGeometry();
        if (!place.intersects(taken))
            continue;
        place.moveLeft(taken.right() + kGap);
        if (place.right() > area.right())
            place.moveTopLeft({taken.left(), taken.bottom() + kGap});
    }
    const QPoint lastTopLeft(std::max(area.left(), area.right() - place.width()),
                             std::max(area.top(), area.bottom() - place.height()));
    place.moveTopLeft({std::clamp(place.left(), area.left(), lastTopLeft.x()),
                       std::clamp(place.top(), area.top(), lastTopLeft.y())});
    form.move(place.topLeft());
}

} // namespace pelmora::app
