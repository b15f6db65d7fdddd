#pragma once
// The link to the ORA-2 / ORB-2 sensor: the one object that owns the serial
// port, collects what the sensor sends, transmits command texts and holds,
// as public fields, the protocol state, the last values, the sensor's
// identity texts and its whole parameter set.
//
// One instance is the device link; further instances serve as plain
// parameter containers (configuration files). A copy takes every public
// field and no port: the copy starts closed.
//
// Text fields hold one char per received byte (0..255), so binary frames
// survive unchanged.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "SerialPort.h"

class clsKOV {
public:
    // ---- protocol state -------------------------------------------------
    double CurrentTime = 0;            // "now" as last stamped by the monitor tick (days)
    double ReadTempTime = 0;           // next temperature request due (days)
    std::int32_t ReadTempInterval = 15000;  // ms
    std::int32_t CommStatus = 0;       // 0 not connected, 1 idle, 2 measuring
    std::string LastCommand;           // awaited command, "m" once data flows, "" when nothing awaited
    std::string NewInData;             // bytes of the last ReadComportData
    std::string InBuffer;              // received text not yet consumed by the decoder
    std::int32_t EventNr = 0;          // result of the last decoding step
    // ---- last values ----------------------------------------------------
    double MeasValue = 0;              // distance in the unit of DistanceUnit
    std::int32_t MeasValue_mm = 0;     // distance in mm, or a marker value
    std::int32_t MeasValue_T = 0;      // reserved
    std::string sDistance;             // distance text as received (ASCII formats)
    std::string sTemperature;          // last temperature text
    std::int32_t TempStatus = 0;       // 1 good, 0 sensor reported an error (modKOVComm::TempState)
    double FailTime = 0;               // deadline of the awaited answer (days)
    // ---- identity -------------------------------------------------------
    std::string DeviceType = "Serial";
    std::string Attenuator;
    std::string SerialNo;
    std::string SWVersion;
    std::string SWBuild;
    std::string SWDate;
    std::string HWPointer;
    std::string Description;           // name of a stored parameter set; never sent
    // Place in the configuration list: the device link is "Device" / "Device";
    // a configuration file has an empty Name and the file's full path.
    std::string Name;
    std::string Filename;
    // ---- parameter set (code in the comment) ----------------------------
    std::int32_t Baudrate = 3;         // 601, index 0..5
    std::int32_t DistanceUnit = 1;     // 111, index 0..6
    std::int32_t OutputFormat = 1;     // 101, index 0..3
    std::int32_t OutputMode = 0;       // 603, index 0..2
    std::int32_t NodeAddress = -1;     // 610, -1 = serial device
    std::int32_t AverageDepth = 4;     // 301, index 0..4
    std::int32_t TimeOut = 1;          // 302, index 0..4
    std::int32_t MovingAverage = 0;    // 304
    std::int32_t AutostartMode = 0;    // 305
    std::int32_t EchoCheck = 1;        // 306
    std::int32_t Blanking = 0;         // 311
    std::int32_t RainFilter = -1;      // 351, index 0..2, -1 = no rain filter
    std::int32_t DistanceWindow = 20000;  // 352
    std::int32_t EchoThreshold = 512;  // 353
    std::int32_t DistanceLimit = 1000; // 354
    std::int32_t MeasValid = 1;        // 355
    std::int32_t AnalogMin = 1000;     // 401, mm
    std::int32_t AnalogMax = 9000;     // 402, mm
    std::int32_t AnalogOutput = 0;     // 403
    std::int32_t S1Logic = 1;          // 503
    std::int32_t S1OnThreshold = 10000;   // 501, mm
    std::int32_t S1OffThreshold = 9900;   // 502, mm
    std::int32_t S2Logic = 1;          // 506
    std::int32_t S2OnThreshold = 1000; // 504, mm
    std::int32_t S2OffThreshold = 900; // 505, mm
    std::int32_t Offset = 0;           // 701, mm
    std::int32_t ScaleFactor = 1000;   // 702, thousandths
    std::int32_t Temperature = 200;    // 801, tenths of a degree
    std::int32_t AirPressure = 1013;   // 802, hPa

    clsKOV();
    ~clsKOV();
    clsKOV(const clsKOV&) = default;
    clsKOV& operator=(const clsKOV&) = default;

    // ---- operations -----------------------------------------------------
    std::int32_t CommBaudrate();                   // speed the port reports; <= 0 while closed
    void CommBaudrate(std::int32_t Baudrate);      // one of the supported speeds, else ignored
    std::int32_t CommComPort() const;              // port number, 0 until a port was opened
    bool PortIsOpen();                             // false once the device hung up
    std::int32_t PortStatus();                     // line error bits; -1 while closed
    std::string PortStatusByName(std::int32_t Status = -1);
    std::string TypName() const { return "KOV"; }
    void OpenComPort(std::int32_t Comport, std::int32_t Baudrate);
    void CloseComPort();
    void ReadComportData();
    void EvaluateInBuffer();
    // False when the command was refused: another sequence holds the line.
    bool SendCommand(const std::string& Command);

    // ---- decoder memory ----------------------------------------------------
    // What the reply decoder remembers between two steps besides the fields
    // above. Reset by the decoder itself; callers only read it.
    struct DecoderMemory {
        double SentAt = 0;            // CurrentTime when the last command went out
        bool SendFailed = false;      // a byte of the last command could not be sent
        bool TakingOver = false;      // the last "S" stops a stream nobody asked for
        bool TakeoverDue = false;     // the follow-up this step decided on is such an "S"
        bool AnswerBytes = false;     // bytes arrived since the last command went out
        int KeepAliveRetries = 0;     // "T" asked again after an unreadable answer
        int BlockRetries = 0;         // "C" asked again after a block with an unreadable value
        double LastInputAt = 0;       // CurrentTime of the last step that found input
        bool FrameLocked = false;     // binary formats: in step with the sensor's frames
        std::size_t LineWidth = 0;    // ASCII formats: width of the sensor's distance lines
        std::size_t NewWidth = 0;     // a different width seen in a row ...
        int NewWidthCount = 0;        // ... this often
        int ChecksumErrors = 0;       // damaged frames in the last step (a value may still be reported)
        std::string Unframed;         // binary formats: the last bytes that were no frame (a banner in the making)
        bool ChecksumMissing = false; // the frames' checksum could not be computed (no CRC16 library)
        // BINARY: the last distance taken, which the next frame must agree
        // with; LineNoise while values are held back after one did not.
        bool HaveReference = false;
        std::int32_t Reference = 0;
        bool LineNoise = false;
        std::uint64_t FramesTaken = 0;  // binary frames taken as values since the start
    };
    DecoderMemory Decoder;

    // ---- the line ----------------------------------------------------------
    // Holds in effect (modKOVComm::LineHold) and whether the holder is
    // sending right now. A copy starts without holds.
    struct LineState {
        int Holds = 0;
        bool HolderSending = false;
        LineState() = default;
        LineState(const LineState&) {}
        LineState& operator=(const LineState&) { return *this; }
    };
    LineState Line;

    // ---- additions for the windows and the tests -------------------------
    // Why the last OpenComPort failed ("Permission denied", ...), or why the
    // open port went away when its layer can tell; "" after a success.
    const std::string& LastOpenError() const { return m_Port.LastError; }
    // The last OpenComPort failed only because the port is still being
    // opened (a network connection under way): the next one may succeed.
    bool OpenPending() const { return m_Port.Pending; }
    // Device behind the port number of the last OpenComPort ("" when none is known).
    const std::string& DevicePath() const { return m_Port.Device; }
    // The open port, or nullptr (used by the command layer to transmit).
    SerialLayer::Port* SerialPort();

    // Where OpenComPort gets its port from. The default looks the number up
    // in KOV.ini of the program folder (section PORTS) and the platform's
    // serial ports. An empty function restores the default.
    using PortFactory = std::function<std::unique_ptr<SerialLayer::Port>(int comport, std::string* device)>;
    void SetPortFactory(PortFactory factory);

    // Told the port's new speed whenever CommBaudrate (write) changed it
    // (the user picked another speed, or the sensor took a speed write and
    // the port followed it). Empty: nobody.
    using SpeedListener = std::function<void(std::int32_t bitsPerSecond)>;
    void SetSpeedListener(SpeedListener listener) { m_Port.OnSpeed = std::move(listener); }

private:
    void SetPortSpeed(std::int32_t speed);

    // Port number, open flag and the port itself. Copies of the link start
    // closed, so copying this part copies nothing.
    struct PortState {
        std::int32_t Comport = 0;
        bool IsOpen = false;
        std::unique_ptr<SerialLayer::Port> Port;
        std::string Device;
        std::string LastError;
        bool Pending = false;
        PortFactory Factory;
        SpeedListener OnSpeed;

        PortState() = default;
        PortState(const PortState&) {}
        PortState& operator=(const PortState&) { return *this; }
    };
    PortState m_Port;
};
