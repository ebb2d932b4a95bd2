#include "settings/Preferences.h"

#include "settings/TextValue.h"

namespace pelmora::settings {

using namespace Qt::StringLiterals;

PreferenceRules::PreferenceRules(Preferences& preferences, const SettingsStore& store,
                                 MainWindowIntervalView& mainWindow, IntervalSwitch& scheduler)
    : m_preferences(preferences), m_store(store), m_mainWindow(mainWindow), m_scheduler(scheduler)
{
}

void PreferenceRules::load()
{
    m_preferences.hangUpAfterCheck =
        applyStoredFlag(m_store.readNumber(ProfileFile::Main, kHangUpKey), false);
    setInterval(QString::number(m_store.readNumber(ProfileFile::Main, kIntervalKey)));
    m_preferences.boardErasesItself =
        applyStoredFlag(m_store.readNumber(ProfileFile::Main, kBoardAutoEraseKey), false);
}

void PreferenceRules::loadAtStart()
{
    const std::int32_t hangUp = m_store.readNumber(ProfileFile::Main, kHangUpKey);
    load();
    m_preferences.hangUpAfterCheck = applyStoredFlag(hangUp, m_preferences.hangUpAfterCheck);
}

void PreferenceRules::reloadStoredInterval()
{
    const QString interval = QString::number(m_store.readNumber(ProfileFile::Main, kIntervalKey));
    if (interval != m_preferences.interval)
        setInterval(interval);
}

void PreferenceRules::setInterval(const QString& typed)
{
    const QString text = typed.isEmpty() ? u"0"_s : typed;
    m_preferences.interval = text;
    m_scheduler.intervalChanged();
    const double minutes = TextValue(text);
    if (minutes > 0) {
        m_mainWindow.setIntervalLabel(u"ON"_s);
        m_mainWindow.setIntervalFlag(true);
        m_mainWindow.setIntervalText(text);
        m_scheduler.setIntervalChecking(true);
    } else if (minutes == 0) {
        m_mainWindow.setIntervalLabel(u"OFF"_s);
        m_mainWindow.setIntervalFlag(false);
        m_mainWindow.setIntervalText(text);
        m_scheduler.setIntervalChecking(false);
        // Switching interval checking off is stored at once, even if the dialog never closes.
        // A failure is not told at every keystroke: the close box writes the interval again and
        // tells then.
        m_store.writeKey(ProfileFile::Main, kIntervalKey, text);
    }
    // A negative interval changes nothing.
}

std::optional<SaveFailure> PreferenceRules::saveAndReload()
{
    auto failure = m_store.writeKeys(
        ProfileFile::Main,
        {{kHangUpKey, SettingsStore::flagText(m_preferences.hangUpAfterCheck)},
         {kIntervalKey, m_preferences.interval},
         {kBoardAutoEraseKey, SettingsStore::flagText(m_preferences.boardErasesItself)}});
    if (!failure)
        load();
    return failure;
}

} // namespace pelmora::settings
