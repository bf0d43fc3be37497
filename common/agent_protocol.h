// The protocol between the host and the agent on the phone: ports, frame layout, message
// types, statuses and notification types. Both sides (the host's decoders, the stand-in
// agent and the phone-side agent) take their numbers from here; nothing else spells them.
//
// Frames: a 6-byte header (16-bit type, 32-bit payload length) and the payload. What the
// host writes is little-endian; what the agent writes is big-endian.
#pragma once
#include <cstddef>
#include <cstdint>

namespace kit::agent {

// ---- Ports ---------------------------------------------------------------------------------

struct port_pair {
  uint16_t local;   // on 127.0.0.1 of the PC
  uint16_t remote;  // on the phone
};

// One request per connection; framed requests and replies.
constexpr port_pair kRequestPort{12300, 12186};
// File pull; one persistent connection, one request at a time.
constexpr port_pair kPullPort{12301, 12176};
// File push; one file per connection.
constexpr port_pair kPushPort{12302, 12166};
// Notifications; one persistent connection opened by a frame of type kConnect.
constexpr port_pair kNotifyPort{12303, 12156};

constexpr port_pair kAllPorts[] = {kRequestPort, kPullPort, kPushPort, kNotifyPort};

// ---- Frames --------------------------------------------------------------------------------

constexpr uint32_t kFrameHeaderSize = 6;
// The longest payload a frame from the agent may announce. The agent's largest lists are far
// below it; a longer announcement would make a reader buffer without end.
constexpr uint32_t kMaxFramePayload = 256u << 20;
// Records the agents put in one list frame before starting the next.
constexpr uint32_t kRecordsPerFrame = 40;

// ---- Request and reply types (port 12300) ----------------------------------------------------
//
// A reply carries the type of its request. Lists: frames of status kListMore (or
// kListFailed for a failed sent SMS record) ending with a frame of status kListEnd or an
// empty payload. Values: one frame, no status byte. Status replies: status 0 or 1 with
// fields, ended by kStatusEnd.
namespace msg {
constexpr uint16_t kConnect = 8;  // host → agent on the notification channel, empty payload

// Lists.
constexpr uint16_t kMusicList = 4;
constexpr uint16_t kPictureList = 5;
constexpr uint16_t kVideoList = 6;
constexpr uint16_t kDocumentList = 7;
constexpr uint16_t kAppList = 13;
constexpr uint16_t kContactList = 14;
constexpr uint16_t kRingtoneList = 16;
constexpr uint16_t kSmsList = 47;          // argument: thread id (optional; 0 = all)
constexpr uint16_t kSendSms = 50;          // arguments: number, text; a list of sent records
constexpr uint16_t kRecordingList = 99;
constexpr uint16_t kDownloadList = 108;
constexpr uint16_t kScreenshotList = 109;
constexpr uint16_t kCacheFileList = 110;
constexpr uint16_t kFolderList = 111;      // the end frame carries a u64 total
constexpr uint16_t kBackupFileList = 113;

// Values.
constexpr uint16_t kSmsCount = 38;         // u32
constexpr uint16_t kDeviceSummary = 40;    // the fixed summary layout
constexpr uint16_t kDeleteSms = 69;        // argument: SMS id; u8 result
constexpr uint16_t kDeleteContact = 71;    // argument: contact id; u8 result
constexpr uint16_t kUninstallApp = 73;     // argument: package; u8 result
constexpr uint16_t kMarkThreadRead = 76;   // argument: thread id; u8 result
constexpr uint16_t kSetRingtone = 78;      // argument: path; u8 result
constexpr uint16_t kDeleteFile = 115;      // argument: path of a file in shared storage; u8 result
constexpr uint16_t kMakeFolder = 116;      // argument: path of a new folder in shared storage; u8 result
constexpr uint16_t kFreeStorage = 114;     // decimal text, MB

// Status replies.
constexpr uint16_t kAddContact = 53;       // arguments: name, number; fields: id, name, number
constexpr uint16_t kModelName = 54;        // field: model
constexpr uint16_t kInstallApp = 57;       // argument: package path on the phone; field: text
constexpr uint16_t kSmsBackupProgress = 80;      // fields: text, percent
constexpr uint16_t kContactBackupProgress = 82;  // fields: text, percent
constexpr uint16_t kAppBackupProgress = 84;      // fields: text, percent
} // namespace msg

// List and status-reply statuses (the first payload byte).
namespace status {
constexpr uint8_t kListMore = 0;     // records follow, more frames come
constexpr uint8_t kListFailed = 1;   // a sent SMS that failed: its number alone
constexpr uint8_t kListEnd = 2;      // the last frame of a list
constexpr uint8_t kStatusOk = 0;
constexpr uint8_t kStatusDone = 1;
constexpr uint8_t kStatusEnd = 2;
} // namespace status

// ---- Notification types (port 12303, agent → host) -----------------------------------------
namespace notify {
constexpr uint16_t kIncomingCall = 18;
constexpr uint16_t kBattery = 19;
constexpr uint16_t kNewSms = 48;
constexpr uint16_t kSmsSendResult = 50;
constexpr uint16_t kVideoAdded = 105;
constexpr uint16_t kPhotoAdded = 106;
constexpr uint16_t kMusicAdded = 107;
} // namespace notify

// ---- File push (port 12302) and pull (port 12301) -------------------------------------------
//
// Push header: type (2), length = 4 + destination length + low 32 bits of the file size (4),
// destination length (4), destination bytes, all little-endian; then the file's bytes. The
// agent answers with one byte once it has stored them.
// Pull request: type (2), length = 4 + path length (4), path length (4), path bytes,
// little-endian. The reply: type (2) and file length (4), big-endian, then the bytes.
namespace transfer {
constexpr uint16_t kPushCommon = 3;
constexpr uint16_t kPushApp = 20;
constexpr uint16_t kPushVideo = 105;
constexpr uint16_t kPushPhoto = 106;
constexpr uint16_t kPushMusic = 107;

constexpr uint16_t kPullFile = 1;
constexpr uint16_t kPullIcon = 101;
constexpr uint16_t kPullCompressedPicture = 103;
constexpr uint16_t kPullVideoThumbnail = 104;

constexpr size_t kPushChunkSize = 512000;
constexpr size_t kPullReplyHeaderSize = 6;
} // namespace transfer

} // namespace kit::agent
