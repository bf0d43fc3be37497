-- Constants shared by the UI scripts: the agent protocol's ports and message types and the
-- statuses callbacks report. The host's protocol header holds the same numbers (a test
-- compares them).
function RegisterObject()
  Macro = {
    -- Local ports forwarded to the agent on the phone.
    PORT_REQUEST = 12300,
    PORT_PULL = 12301,
    PORT_PUSH = 12302,
    PORT_NOTIFY = 12303,

    -- Request types (Socket.Manager:SendSocketMessage); replies carry the same type.
    MSG_MUSIC_LIST = 4,
    MSG_PICTURE_LIST = 5,
    MSG_VIDEO_LIST = 6,
    MSG_DOCUMENT_LIST = 7,
    MSG_APP_LIST = 13,
    MSG_CONTACT_LIST = 14,
    MSG_RINGTONE_LIST = 16,
    MSG_SMS_LIST = 47,
    MSG_SEND_SMS = 50,
    MSG_RECORDING_LIST = 99,
    MSG_DOWNLOAD_LIST = 108,
    MSG_SCREENSHOT_LIST = 109,
    MSG_CACHE_FILE_LIST = 110,
    MSG_FOLDER_LIST = 111,
    MSG_BACKUP_FILE_LIST = 113,
    MSG_SMS_COUNT = 38,
    MSG_DEVICE_SUMMARY = 40,
    MSG_DELETE_SMS = 69,
    MSG_DELETE_CONTACT = 71,
    MSG_UNINSTALL_APP = 73,
    MSG_MARK_THREAD_READ = 76,
    MSG_SET_RINGTONE = 78,
    MSG_DELETE_FILE = 115,
    MSG_MAKE_FOLDER = 116,
    MSG_FREE_STORAGE = 114,
    MSG_ADD_CONTACT = 53,
    MSG_MODEL_NAME = 54,
    MSG_INSTALL_APP = 57,

    -- Notification types (the first argument of the Socket.Manager:Init function).
    NOTIFY_INCOMING_CALL = 18,
    NOTIFY_BATTERY = 19,
    NOTIFY_NEW_SMS = 48,
    NOTIFY_SMS_SEND_RESULT = 50,
    NOTIFY_VIDEO_ADDED = 105,
    NOTIFY_PHOTO_ADDED = 106,
    NOTIFY_MUSIC_ADDED = 107,

    -- Request callbacks: a reply frame, or the connection failed.
    REPLY = 5,
    REQUEST_FAILED = 6,
    -- List and status replies: the last frame.
    LIST_END = 2,

    -- Task statuses of pushes, pulls, downloads and debug-bridge commands.
    TASK_WAITING = 0,
    TASK_RUNNING = 1,
    TASK_STOPPED = 3,
    TASK_FAILED = 4,
    TASK_DONE = 5,
    TASK_CONNECTION_FAILED = 6,
    PUSH_OPEN_FAILED = 1000,
    PUSH_SOCKET_FAILED = 1001,
    PUSH_CONNECT_FAILED = 1002,
    PUSH_SEND_FAILED = 1003,
    PUSH_REFUSED = 1004,
    PULL_CANNOT_WRITE = 3000,
  }
end
