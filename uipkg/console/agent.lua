-- The channel to the agent app: notifications printed as they arrive, and requests whose
-- replies come back in frames. A request the agent does not answer ends with one line.
local commands = require("console.commands")
local completion = require("console.completion")
local notices = require("console.notices")
local text = require("console.text")
local store = require("model.store")

local M = {}

local socket = GetObject("Socket.Manager")
local REPLY = Macro.REPLY
local initialised = false

local function init()
  if initialised then return end
  initialised = true
  socket:Init(notices.print)
end

local UNREACHABLE = "agent: no answer on 127.0.0.1:12300, so no phone is connected: plug one in and allow debugging"
  .. " on its screen ('devices' lists what is attached)"

-- An agent that takes the connection but never answers would leave a request waiting
-- for ever: a request with no reply frame within this time is cancelled with a line.
local WAIT_MS = 5000

-- Request types answered by one frame (values); every other reply ends with a frame of
-- status LIST_END (lists and status replies alike).
local SINGLE_FRAME = { [Macro.MSG_DEVICE_SUMMARY] = true, [Macro.MSG_SMS_COUNT] = true, [Macro.MSG_FREE_STORAGE] = true,
  [Macro.MSG_DELETE_SMS] = true, [Macro.MSG_DELETE_CONTACT] = true, [Macro.MSG_UNINSTALL_APP] = true,
  [Macro.MSG_MARK_THREAD_READ] = true, [Macro.MSG_SET_RINGTONE] = true, [Macro.MSG_DELETE_FILE] = true,
  [Macro.MSG_MAKE_FOLDER] = true }

-- Sends a request; on_frame(...) gets the fields of each reply frame after the reply code.
-- The request is a job of the console until its last frame came, or it failed; then
-- on_failure(line) is called when given, with the line saying why. That line is printed
-- as a failed command unless own_line is true (the caller shows it where it belongs).
local function request(kind, args, on_frame, on_failure, own_line)
  init()
  local job = commands.job("a request to the phone")
  local timer, id
  local function failed(line)
    if not own_line then commands.fail(line) end
    job.ended()
    if on_failure then on_failure(line) end
  end
  local function stop_timer()
    if timer then
      KillTimer(timer)
      timer = nil
    end
  end
  local function wait()
    stop_timer()
    timer = SetTimer(WAIT_MS, function()
      timer = nil
      socket:CancleTask(id)
      failed(string.format("agent: no answer within %d s (request %d): the agent app on the phone is not"
        .. " responding; unlock the phone, open the agent app or replug the cable, then try again", WAIT_MS / 1000,
        kind))
    end)
  end
  args[#args + 1] = function(code, ...)
    stop_timer()
    if code ~= REPLY then return failed(UNREACHABLE) end
    on_frame(...)
    if SINGLE_FRAME[kind] or select(1, ...) == Macro.LIST_END then return job.ended() end
    wait()
  end
  id = socket:SendSocketMessage(kind, unpack(args))
  wait()
end

M.request = request

-- Adds a contact on the phone; on_done(true) once the agent confirmed it, on_done(false)
-- when it refused or did not answer.
function M.add_contact(name, number, on_done)
  local ok = false
  local timer
  local done = function(result)
    if timer then KillTimer(timer) timer = nil end
    if on_done then on_done(result) end
    on_done = nil
  end
  request(Macro.MSG_ADD_CONTACT, { name, number }, function(status)
    if status == 0 then ok = true end
    if status == Macro.LIST_END then done(ok) end
  end)
  -- A request that got no answer is cancelled by request() with its own line.
  timer = SetTimer(WAIT_MS + 1000, function() timer = nil done(false) end)
end

-- Opens the notification channel and asks for the device summary.
function M.connect()
  init()
  socket:Connect()
  request(Macro.MSG_DEVICE_SUMMARY, {}, function(contacts, sdk, battery, signal, card, sms, apps, free, card_free, total, card_total, android,
                           model)
    print(string.format("agent connected: %s, Android %s, battery %d%%, %d SMS, %d contacts, %d apps", text.clean(model), text.clean(android),
      battery, sms, contacts, apps))
    store.set_phone({ connected = true, model = tostring(model or ""), android = tostring(android or ""), sdk = sdk,
      battery = battery, signal = signal, sms = sms, contacts = contacts, apps = apps, free = free, total = total,
      card = card, card_free = card_free, card_total = card_total })
    store.step("agent", "done", "agent connected")
  end)
end

-- Asks for a list: on_record(record, n) for each record, then on_end(count); on_failure(line)
-- instead when the list could not be read (own_line: as for request).
function M.list(kind, args, on_record, on_end, on_failure, own_line)
  local count = 0
  request(kind, args or {}, function(status, records)
    for _, r in ipairs(type(records) == "table" and records or {}) do
      count = count + 1
      on_record(r, count)
    end
    if status == Macro.LIST_END then on_end(count) end
  end, on_failure, own_line)
end

-- The lists that hold files with a path, and the field naming it in each.
local FILE_LISTS = {
  { Macro.MSG_DOCUMENT_LIST, "FilePath" }, { Macro.MSG_MUSIC_LIST, "Path" }, { Macro.MSG_PICTURE_LIST, "FilePath" },
  { Macro.MSG_VIDEO_LIST, "FilePath" },
}

-- Every file the phone's lists name: on_done(files) with { path, size } records, or
-- on_done(nil) when a list could not be read. The paths feed Tab completion.
function M.files(on_done)
  local files = {}
  local function ask(n)
    if n > #FILE_LISTS then return on_done(files) end
    local kind, field = FILE_LISTS[n][1], FILE_LISTS[n][2]
    M.list(kind, {}, function(r)
      local path = tostring(r[field] or "")
      files[#files + 1] = { path = path, size = tonumber(r.Size) or 0 }
      completion.add_phone_path(path)
    end, function() ask(n + 1) end, function() on_done(nil) end)
  end
  ask(1)
end

return M
