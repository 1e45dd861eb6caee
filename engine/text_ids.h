#pragma once

// The string-table ids the engine, the headless tool and the window show, by what they say.
// Every id the code shows is named here once; the language packs hold the texts themselves.
namespace engine::text {
inline constexpr unsigned kAboutText = 102;  // the About page's body
inline constexpr unsigned kAbout = 103;      // the About page's title and tab
inline constexpr unsigned kInformation = 104;
inline constexpr unsigned kDevice = 105;  // the Device page's title and tab
inline constexpr unsigned kDeleteButton = 106;
inline constexpr unsigned kBackupButton = 107;
inline constexpr unsigned kRestoreButton = 108;
inline constexpr unsigned kSettings = 109;
inline constexpr unsigned kDeviceLabel = 110;
inline constexpr unsigned kNameLabel = 111;
inline constexpr unsigned kSerialLabel = 112;
inline constexpr unsigned kEmailLabel = 113;
inline constexpr unsigned kLanguageLabel = 114;
inline constexpr unsigned kTestConnectionButton = 115;
inline constexpr unsigned kRegistrationNotice = 116;  // asks to register on the web site first
inline constexpr unsigned kSynchronise = 117;         // the Synchronise page's title and tab
inline constexpr unsigned kDeviceNotConnected = 118;
inline constexpr unsigned kDeviceHeading = 119;
inline constexpr unsigned kPcHeading = 120;
inline constexpr unsigned kSynchronisationFailed = 122;
inline constexpr unsigned kSynchroniseButton = 124;
inline constexpr unsigned kRefreshButton = 125;
inline constexpr unsigned kRunningTitle = 126;
inline constexpr unsigned kOkButton = 128;
inline constexpr unsigned kFirstError = 129;  // 10000 + i is text 129 + i
inline constexpr unsigned kSendRequestFailed = 141;
inline constexpr unsigned kFirstStep = 144;  // the steps of a synchronisation, 144 to 151
inline constexpr unsigned kUploadingToDevice = 151;
inline constexpr unsigned kDeviceUnreadable = 152;
inline constexpr unsigned kErrorCaption = 153;
inline constexpr unsigned kUploadFailedSummary = 155;
inline constexpr unsigned kSummary = 156;
inline constexpr unsigned kRetrievingDeviceInfo = 157;
inline constexpr unsigned kStartupTitle = 158;
inline constexpr unsigned kFullSynchronisationDue = 159;
inline constexpr unsigned kConnectionTestFailed = 160;
inline constexpr unsigned kConnectionTestDone = 161;
inline constexpr unsigned kConfirmDelete = 162;  // of the personal updates on the device
inline constexpr unsigned kUpdateCaption = 164;
inline constexpr unsigned kBackupFailed = 165;
inline constexpr unsigned kRestored = 166;
inline constexpr unsigned kDeleteFailed = 167;
inline constexpr unsigned kRestoreFailed = 168;
inline constexpr unsigned kDeviceConnectFailed = 169;
inline constexpr unsigned kDeviceInfo = 170;  // camera and change counts on the device
inline constexpr unsigned kPcInfo = 171;      // last sync date and counts on the PC
inline constexpr unsigned kAlertCaption = 172;
inline constexpr unsigned kRetrievingInformation = 173;
inline constexpr unsigned kConnectionProblem = 175;
inline constexpr unsigned kRestartNeeded = 176;  // after the language changed
inline constexpr unsigned kBackedUp = 177;
inline constexpr unsigned kDeleted = 178;
inline constexpr unsigned kNothingToBackUp = 179;
inline constexpr unsigned kSummaryCaption = 180;
inline constexpr unsigned kRegistrationIncomplete = 181;
inline constexpr unsigned kPrevButton = 182;
inline constexpr unsigned kNextButton = 183;
inline constexpr unsigned kYesButton = 184;
inline constexpr unsigned kNoButton = 185;
inline constexpr unsigned kExitButton = 186;
inline constexpr unsigned kReportsSetAside = 187;  // personal updates kept back as unreadable
inline constexpr unsigned kSettingsNotSaved = 188;
inline constexpr unsigned kServiceAddressLabel = 189;  // the web folder of the server-address file
inline constexpr unsigned kOsmCamerasOnPc = 190;  // shown only when ".\osm.cache" exists

static_assert(kSendRequestFailed == kFirstError + 12, "error 10012 is the failed send");
static_assert(kUploadingToDevice == kFirstStep + 7, "the last step is the upload");
}  // namespace engine::text
