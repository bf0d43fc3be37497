-- What 'help' prints: the commands by group, and for one command its usage with an example.
local M = {}

M.groups = {
  { "phone", { "devices", "info", "sms", "send", "read", "delete-sms", "contacts", "add-contact", "delete-contact", "apps", "install",
    "uninstall", "music", "ringtone", "photos", "videos", "files",
    "delete-file", "make-folder" } },
  { "transfer", { "push", "pull" } },
  { "data", { "backup", "backups", "restore", "export", "import" } },
  { "web", { "download", "downloads", "stop", "resume", "cancel", "update" } },
  { "desktop", { "copy", "paste", "tray" } },
  { "program", { "help", "quit" } },
}

M.examples = {
  devices = "devices",
  info = "info",
  sms = "sms 3",
  send = "send 10086 \"see you at 8\"",
  read = "read 3",
  ["delete-sms"] = "delete-sms 12",
  ringtone = "ringtone /sdcard/Music/song.mp3",
  contacts = "contacts all",
  ["add-contact"] = "add-contact \"Li Na\" 13800001111",
  ["delete-contact"] = "delete-contact 100",
  apps = "apps",
  install = "install ~/Downloads/notes.apk",
  uninstall = "uninstall com.example.notes",
  music = "music all",
  photos = "photos",
  videos = "videos",
  files = "files /sdcard/Documents",
  ["delete-file"] = "delete-file \"/sdcard/DCIM/Camera/IMG 1.jpg\"",
  ["make-folder"] = "make-folder /sdcard/Documents/Trips",
  push = "push song.mp3 photo.jpg /sdcard/Download/",
  pull = "pull /sdcard/DCIM/a.jpg /sdcard/Documents ~/Pictures",
  backup = "backup \"before the trip\"",
  backups = "backups",
  restore = "restore 2026-12-08_10-00-00   or   restore latest",
  export = "export sms ~/sms.csv --readable",
  import = "import contacts ~/contacts.csv",
  download = "download http://127.0.0.1:8080/big.bin ~/big.bin",
  downloads = "downloads",
  stop = "stop 1",
  resume = "resume 1",
  cancel = "cancel 1 keep",
  update = "update",
  copy = "copy \"some text\"   or   copy a.txt b.jpg",
  paste = "paste",
  tray = "tray on",
  help = "help push",
  quit = "quit",
}

-- Prints the list by group; commands no group names come last.
local function list(usage)
  print("commands: type 'help COMMAND' for its usage and an example")
  local seen = {}
  local function show(title, names)
    local lines = {}
    for _, name in ipairs(names) do
      if usage[name] and not seen[name] then
        seen[name] = true
        lines[#lines + 1] = "  " .. usage[name]
      end
    end
    if #lines == 0 then return end
    print(title .. ":")
    for _, line in ipairs(lines) do print(line) end
  end
  for _, g in ipairs(M.groups) do show(g[1], g[2]) end
  local rest = {}
  for name in pairs(usage) do
    if not seen[name] then rest[#rest + 1] = name end
  end
  table.sort(rest)
  show("other", rest)
  print("local paths: ~ and ~/... name your home folder; $VARIABLES are not expanded. Quote names with blanks:"
    .. " \"my file.txt\". A piped run waits for its work and exits with 1 if any command failed.")
end

-- 'help' alone lists every command; 'help NAME' shows that command.
function M.show(rest, usage)
  local name = rest:match("^%s*(%S+)")
  if not name then return list(usage) end
  local text = usage[name]
  if not text then return print("no command " .. name .. " (type 'help' for the list)") end
  local form, what = text:match("^(.-)%s%s+(.*)$")
  print("usage: " .. (form or text))
  if what then print("  " .. what) end
  if M.examples[name] then print("example: " .. M.examples[name]) end
end

return M
