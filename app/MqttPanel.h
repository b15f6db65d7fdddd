#pragma once
// Publishing from the program: the entry "Publish to MQTT..." of the Options
// menu and its dialog, the settings in KOV.ini (section MQTT), the publisher
// fed by the measurement loop, and a status bar panel with the broker's
// state (connected / reconnecting / off) and the values dropped.
//
// The publisher starts once the sensor has told its serial number (the
// topics carry it) and starts anew for another sensor. The panel follows the
// publisher at every tick of the loop: no timer of its own, and the tick
// only reads a few counts.
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "MqttSettings.h"

class QAction;
class QLabel;
class QMainWindow;
class QMenu;
class QWidget;
class clsIni;
class clsKOV;
class MonitorLoop;

namespace mqtt {
class Feed;
class Publisher;
}  // namespace mqtt

// Text ids (German; English is id + 1000).
namespace MqttText {
constexpr int MenuEntry = 1046;
constexpr int Title = 1160;
constexpr int Publish = 1161;
constexpr int Broker = 1162;
constexpr int Prefix = 1163;
constexpr int User = 1164;
constexpr int Password = 1165;
constexpr int Qos = 1166;
constexpr int TlsCa = 1167;
constexpr int Queue = 1168;
constexpr int Ok = 1169;
constexpr int Cancel = 1170;
constexpr int PasswordNote = 1172;
constexpr int Off = 1173;
constexpr int Connected = 1174;
constexpr int Reconnecting = 1175;
constexpr int Refused = 1176;
constexpr int Dropped = 1177;
constexpr int Connecting = 1178;
constexpr int NotBuilt = 1179;
}  // namespace MqttText

// What KOV.ini keeps, section MQTT.
struct MqttProgramSettings {
    bool Publish = false;
    std::string Broker;  // mqtt://HOST[:PORT] as entered
    mqtt::Settings Mqtt;
};

namespace MqttIni {
constexpr const char* Section = "MQTT";
MqttProgramSettings Load(const clsIni& ini);
bool Save(clsIni& ini, const MqttProgramSettings& s);
// The password as KOV.ini holds it: obfuscated (not encrypted: anyone who
// can read the file and this source can recover it), "" for none.
std::string Obscure(const std::string& password);
std::string Reveal(const std::string& stored);
}  // namespace MqttIni

class MqttPanel : public QObject {
    Q_OBJECT
public:
    // Adds the menu entry to `options` and the panel to `window`'s status
    // bar, reads the settings from `ini` and publishes what `loop` measures.
    MqttPanel(QMainWindow* window, QMenu* options, MonitorLoop& loop, clsIni& ini);
    ~MqttPanel() override;

    QLabel* Panel() const { return m_panel; }
    QAction* MenuEntry() const { return m_action; }
    const MqttProgramSettings& Settings() const { return m_settings; }
    // Takes new settings (as the dialog does): saved, the publisher started anew.
    void Apply(const MqttProgramSettings& settings);
    // The panel's text now, in the current language.
    QString PanelText() const;
    // Brings the panel up to date (also after a language switch).
    void Refresh();

public slots:
    void ShowDialog();

private:
    void OnTick(clsKOV& link);
    void StartFor(const clsKOV& link);
    void StopPublishing();

    QMainWindow* m_window;
    MonitorLoop& m_loop;
    clsIni& m_ini;
    QAction* m_action = nullptr;
    QLabel* m_panel = nullptr;
    MqttProgramSettings m_settings;
    std::unique_ptr<mqtt::Publisher> m_publisher;
    std::unique_ptr<mqtt::Feed> m_feed;
    std::string m_serial;
    int m_tickId = 0;
    QString m_shown;
};
