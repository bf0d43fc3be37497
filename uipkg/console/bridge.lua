-- The debug-bridge part of connecting a phone: check that the phone is listed and
-- authorised, put the agent on it and start it, and forward the four local ports to it.
-- Each step prints one line; the first failure ends the road with a line saying why.
--
-- Two agents: an agent app (uipkg/agent/agent.apk, installed and started as an app), or,
-- when the package holds only the placeholder, the native agent program shipped in the
-- program's agent/<abi>/ folder, pushed to the phone and started as the shell user.
local model = require("model.store")
local native = require("console.native_agent")
local files = require("console.local_files")

local M = {}

local adb = GetObject("AndroidCon.Manager")
local SUCCESS = Macro.TASK_DONE
local AGENT_ACTIVITY = "com.mobrevist.agent/.MainActivity"

-- The agent package shipped in this package's agent folder.
local function agent_apk()
  return native.package_dir() .. "/agent/agent.apk"
end

-- A real app package is a zip file; the placeholder is text.
local function has_agent_app()
  local f = io.open(agent_apk(), "rb")
  if not f then return false end
  local head = f:read(2)
  f:close()
  return head == "PK"
end

-- What a failed install means, with what to do next.
function M.install_failure(result)
  local reasons = {
    [2000] = "the phone has too little free storage; free some space and try again",
    [2001] = "the phone says the package is not a valid app; check the .apk file",
    [2002] = "the app needs a newer Android version than the phone has",
    [2003] = "the .apk file was not found; check its path",
    [2004] = "the phone's storage is not available; unmount it from the PC or insert the card",
  }
  return reasons[result] or "the debug bridge gave no reason; unlock the phone, replug it and try again"
end

local initialised = false
local busy = {}

local forwards = { "ForwardTcpPort", "ForwardTcpPort2", "ForwardTcpPort3", "ForwardTcpPort4" }

-- Whether the debug-bridge client is there: beside the program or in a folder of PATH,
-- under the program's name for it or (Windows) as Android's adb.exe.
local WINDOWS = files.windows
local function bridge_client_found()
  local names = WINDOWS and { "adb_help.exe", "adb.exe" } or { "adb_help" }
  local folders = { native.program_dir() }
  for folder in (os.getenv("PATH") or ""):gmatch(WINDOWS and "[^;]+" or "[^:]+") do folders[#folders + 1] = folder end
  for _, folder in ipairs(folders) do
    for _, name in ipairs(names) do
      if files.exists(folder .. "/" .. name) then return true end
    end
  end
  return false
end

local MISSING_CLIENT = WINDOWS
  and "adb: the debug-bridge client was not found: put Android's adb.exe (from its platform tools, with the"
    .. " DLLs that come with it) beside mobrevist.exe or in a folder on PATH, then replug the phone"
  or "adb: the debug-bridge client was not found beside the program or on PATH: run ./scripts/setup --real-adb,"
    .. " then replug the phone"

-- A phone missing from the list may be one the bridge sees but this user may not open
-- ("no permissions"): on Linux that takes udev rules for Android phones, not a driver. Or
-- the bridge itself is missing.
local function explain_unlisted(serial, stop)
  if not bridge_client_found() then return stop(MISSING_CLIENT) end
  adb:AddAndroidCmd("adb_help.exe devices", 0, 10000, function(_, output)
    for line in tostring(output or ""):gmatch("[^\n]+") do
      if line:sub(1, #serial):lower() == serial:lower() and line:find("no permissions", 1, true) then
        return stop("adb: phone " .. serial .. " is seen but this user may not open it (\"no permissions\"):"
          .. " install udev rules for Android phones (Debian: android-sdk-platform-tools-common), then replug it;"
          .. " the debug bridge reports 'no permissions': see README, USB permissions")
      end
    end
    stop("adb: phone " .. serial .. " not listed as authorised by the debug bridge: no agent connection;"
      .. " unlock the phone and allow USB debugging when it asks, or replug the cable")
  end)
end

local function init()
  if not initialised then
    adb:Init()
    initialised = true
  end
end

-- Installs an app from a local .apk on the phone; on_result(result) gets the bridge's
-- result (SUCCESS or a failure code, see M.install_failure).
function M.install(serial, path, on_result)
  init()
  adb:InstallAPK(serial, path, function(_, result) on_result(result) end)
end

M.SUCCESS = SUCCESS

-- Runs the road for serial; on_ready() is called once the ports are forwarded.
function M.connect(serial, on_ready)
  local key = serial
  if busy[key] then return end
  init()
  busy[key] = true
  local current = "authorise"
  model.steps_begin()
  model.step(current, "running", "waiting for the phone to allow debugging")
  -- Each step is shown as running until it is done; the first failure marks its step.
  local function step(name, line)
    model.step(current, "done", line)
    current = name
    if name then model.step(name, "running") end
  end
  local function stop(line)
    busy[key] = nil
    if line then print(line) end
    if current then model.step(current, "failed", line) end
  end

  -- The ports lead to the agent: the road is done, the agent is asked next.
  local function ready()
    step("agent", "ports forwarded (127.0.0.1:12300-12303 to the agent)")
    model.step("agent", "running", "asking the agent for the phone's summary")
    current = nil
    stop("ports forwarded (127.0.0.1:12300-12303 to the agent)")
    return on_ready()
  end

  local function forward(n)
    if n > #forwards then return ready() end
    adb[forwards[n]](adb, serial, function(_, result)
      if result ~= SUCCESS then
        return stop("adb: port forwarding " .. n .. " failed (" .. tostring(result) .. "): another program may hold port "
          .. (12299 + n) .. "; close it or restart the debug bridge, then replug the phone")
      end
      forward(n + 1)
    end)
  end

  local function start()
    adb:StartAPK(serial, AGENT_ACTIVITY, function(_, result)
      if result ~= SUCCESS then
        return stop("adb: starting the agent failed (" .. tostring(result) .. "): unlock the phone and replug it")
      end
      adb:StartBroadCast(serial, function(_, broadcast)
        if broadcast ~= SUCCESS then
          return stop("adb: the agent did not take the connect broadcast: open the agent app on the phone and replug it")
        end
        print("agent started")
        step("forward", "agent started")
        forward(1)
      end)
    end)
  end

  adb:GetDevices(function(_, list)
    local state
    -- Windows names a USB device with its serial in capitals, the bridge as the phone gives
    -- it: the phone is matched without regard to case, then named as the bridge names it.
    for _, d in ipairs(list or {}) do
      if type(d.DriverId) == "string" and d.DriverId:lower() == serial:lower() then
        state, serial = d.State, d.DriverId
      end
    end
    if state == nil then
      return explain_unlisted(serial, stop)
    elseif state ~= "device" then
      return stop("adb: phone " .. serial .. " is " .. tostring(state) .. ": no agent connection; unlock the phone,"
        .. " allow USB debugging when it asks, then replug it")
    end
    print("adb: phone " .. serial .. " authorised")
    if not has_agent_app() then
      step("push", "phone " .. serial .. " authorised")
      return native.start(adb, serial, step, stop, ready)
    end
    step("install", "phone " .. serial .. " authorised")
    adb:InstallAPK(serial, agent_apk(), function(_, result)
      if result ~= SUCCESS then
        return stop("adb: installing the agent failed (" .. tostring(result) .. "): " .. M.install_failure(result))
      end
      print("agent installed")
      step("start", "agent installed")
      start()
    end)
  end)
end

return M
