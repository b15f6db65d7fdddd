#include "MqttPublisher.h"

namespace mqtt {

const char* StateName(BrokerState state) {
    switch (state) {
        case BrokerState::Connecting: return "connecting";
        case BrokerState::Connected: return "connected";
        case BrokerState::Reconnecting: return "reconnecting";
        case BrokerState::Refused: return "refused";
        case BrokerState::Off: break;
    }
    return "off";
}

}  // namespace mqtt
