#include "platform/Sound.h"

#include <QApplication>
#include <QFile>

#include <canberra.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace {

// Every background sound uses the same id, so that one still playing can be
// recognised and left alone.
constexpr uint32_t kBackgroundId = 1;
constexpr uint32_t kWaitedId = 2;

Sound::Outcome beep()
{
    if (qobject_cast<QApplication *>(QCoreApplication::instance()))
        QApplication::beep();
    return Sound::Outcome::Beeped;
}

class Player final
{
public:
    static Player &instance()
    {
        static Player player;
        return player;
    }

    Sound::Outcome playAsync(const QString &file)
    {
        if (!m_context)
            return beep();
        int playing = 0;
        if (ca_context_playing(m_context, kBackgroundId, &playing) == CA_SUCCESS && playing)
            return Sound::Outcome::Skipped;
        const QByteArray path = QFile::encodeName(file);
        if (ca_context_play(m_context, kBackgroundId, CA_PROP_MEDIA_FILENAME, path.constData(), nullptr)
            != CA_SUCCESS)
            return beep();
        return Sound::Outcome::Played;
    }

    Sound::Outcome playSync(const QString &file, std::chrono::milliseconds limit)
    {
        if (!m_context)
            return beep();
        ca_proplist *properties = nullptr;
        if (ca_proplist_create(&properties) != CA_SUCCESS)
            return beep();
        ca_proplist_sets(properties, CA_PROP_MEDIA_FILENAME, QFile::encodeName(file).constData());

        const quintptr round = startRound();
        const int started = ca_context_play_full(m_context, kWaitedId, properties, &Player::onFinished,
                                                 reinterpret_cast<void *>(round));
        ca_proplist_destroy(properties);
        if (started != CA_SUCCESS) {
            endRound();
            return beep();
        }

        bool finished = false;
        int error = CA_SUCCESS;
        {
            std::unique_lock lock(m_mutex);
            finished = m_finished.wait_for(lock, limit, [this] { return m_done; });
            error = m_error;
            ++m_round;
        }
        if (!finished) {
            ca_context_cancel(m_context, kWaitedId);
            return Sound::Outcome::Played;
        }
        return error == CA_SUCCESS ? Sound::Outcome::Played : beep();
    }

private:
    Player()
    {
        if (ca_context_create(&m_context) != CA_SUCCESS) {
            m_context = nullptr;
            return;
        }
        ca_context_change_props(m_context, CA_PROP_APPLICATION_NAME, "Brisquel", nullptr);
    }

    ~Player()
    {
        if (m_context)
            ca_context_destroy(m_context);
    }

    quintptr startRound()
    {
        std::lock_guard lock(m_mutex);
        m_done = false;
        m_error = CA_SUCCESS;
        return ++m_round;
    }

    void endRound()
    {
        std::lock_guard lock(m_mutex);
        ++m_round;
    }

    // May run on a sound thread, also after the waiting call has given up:
    // the round number tells such late calls apart.
    static void onFinished(ca_context *, uint32_t, int errorCode, void *userdata)
    {
        Player &player = instance();
        {
            std::lock_guard lock(player.m_mutex);
            if (reinterpret_cast<quintptr>(userdata) != player.m_round)
                return;
            player.m_done = true;
            player.m_error = errorCode;
        }
        player.m_finished.notify_all();
    }

    ca_context *m_context = nullptr;
    std::mutex m_mutex;
    std::condition_variable m_finished;
    quintptr m_round = 0;
    bool m_done = false;
    int m_error = CA_SUCCESS;
};

} // namespace

namespace Sound {

Outcome playAsync(const QString &file)
{
    return Player::instance().playAsync(file);
}

Outcome playSync(const QString &file, std::chrono::milliseconds limit)
{
    return Player::instance().playSync(file, limit);
}

} // namespace Sound
