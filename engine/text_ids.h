#pragma once

// The string-table ids the engine and the headless tool show, by what they say. The window
// reaches the same texts through these names.
namespace engine::text {
inline constexpr unsigned kDeviceNotConnected = 118;
inline constexpr unsigned kSynchronisationFailed = 122;
inline constexpr unsigned kRunningTitle = 126;
inline constexpr unsigned kOkButton = 128;
inline constexpr unsigned kFirstError = 129;  // 10000 + i is text 129 + i
inline constexpr unsigned kFirstStep = 144;   // the steps of a synchronisation, 144 to 151
inline constexpr unsigned kUploadingToDevice = 151;
inline constexpr unsigned kDeviceUnreadable = 152;
inline constexpr unsigned kUploadFailedSummary = 155;
inline constexpr unsigned kSummary = 156;
inline constexpr unsigned kStartupTitle = 158;
inline constexpr unsigned kFullSynchronisationDue = 159;
inline constexpr unsigned kConnectionTestFailed = 160;
inline constexpr unsigned kUpdateCaption = 164;
inline constexpr unsigned kDeviceInfo = 170;
inline constexpr unsigned kPcInfo = 171;
inline constexpr unsigned kAlertCaption = 172;
inline constexpr unsigned kRetrievingInformation = 173;
inline constexpr unsigned kConnectionProblem = 175;
inline constexpr unsigned kSummaryCaption = 180;
inline constexpr unsigned kReportsSetAside = 187;
}  // namespace engine::text
