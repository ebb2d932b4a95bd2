#include "app/Application.h"

#include "settings/IdPassForm.h"
#include "settings/OptionForm.h"
#include "settings/SetForm.h"

#include <QGuiApplication>

namespace pelmora::app {

Application::Application(PlatformServices& platform)
    : m_platform(platform),
      m_store(platform.profileFiles, platform.codec, platform.programFolder),
      m_serverFile(platform.codec),
      m_mailLibrary(platform.mailLibrary)
{
    m_mainForm = std::make_unique<MainForm>(MainFormContext{
        m_platform, m_store, m_serverFile, m_values, m_forms, m_mailLibrary});
    registerForms();
    // Only the main window's unloading ends the program: hiding it in the tray, or closing
    // every other window, must not.
    QGuiApplication::setQuitOnLastWindowClosed(false);
}

Application::~Application() = default;

void Application::registerForms()
{
    m_forms.registerForm<settings::SetForm>([this] {
        return new settings::SetForm(m_store, *m_mainForm, *this, m_platform.messageBox);
    });
    m_forms.registerForm<settings::IdPassForm>(
        [this] { return new settings::IdPassForm(m_store, m_values, m_platform.messageBox); });
    m_forms.registerForm<settings::OptionForm>([this] {
        return new settings::OptionForm(m_values, m_serverFile, m_platform.windowPositioner,
                                        m_platform.messageBox);
    });
}

void Application::start()
{
    m_mainForm->Form_Load();
}

void Application::showAccountDialog()
{
    m_forms.show<settings::IdPassForm>();
}

void Application::showServerDialog()
{
    m_forms.show<settings::OptionForm>();
}

} // namespace pelmora::app
