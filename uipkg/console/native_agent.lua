-- The native agent: a program for the phone's processor, shipped in the program's
-- agent/<abi>/ folder. It is pushed to /data/local/tmp, started as the shell user (it
-- detaches itself) and reached through abstract local sockets the four ports are
-- forwarded to. An agent of the same version already running is reused.
local text = require("console.text")

local M = {}

local PHONE_PATH = "/data/local/tmp/mobrevist-agent"
-- The abstract socket of each forwarded port, in the order 12300 to 12303.
local SOCKETS = { "mobrevist-12186", "mobrevist-12176", "mobrevist-12166", "mobrevist-12156" }
-- The processors the agent is built for, by what the phone reports.
local ABIS = { ["arm64-v8a"] = "arm64-v8a", ["armeabi-v7a"] = "armeabi-v7a", ["armeabi"] = "armeabi-v7a",
  ["x86_64"] = "x86_64" }

-- This package's folder, and the program's folder above it.
function M.package_dir()
  local source = debug.getinfo(1, "S").source
  -- Either separator: Windows names the script with backslashes.
  return source:match("^@(.*)[/\\]console[/\\][^/\\]*$") or "."
end
-- The program's folder.
function M.program_dir() return M.package_dir() .. "/.." end
local program_dir = M.program_dir

local function read_file(path)
  local f = io.open(path, "rb")
  if not f then return nil end
  local data = f:read("*a")
  f:close()
  return data
end

-- A word for the bridge's command line: quoted by the rules the line is split with.
local function quote(s)
  if s ~= "" and not s:find('[%s"]') then return s end
  return '"' .. s:gsub('(\\*)"', function(slashes) return slashes .. slashes .. '\\"' end):gsub("(\\+)$", "%1%1") .. '"'
end

-- The first line of a command's output, cleaned for the terminal.
local function first_line(output)
  return text.clean((tostring(output or ""):match("^%s*([^\r\n]*)") or ""))
end

-- Runs the road on serial. step(name, line) ends the step shown as running with its line
-- and starts the next ("start", "forward"); ready() once the ports lead to the agent;
-- stop(line) when the road cannot go on.
function M.start(adb, serial, step, stop, ready)
  local version = (read_file(program_dir() .. "/agent/version.txt") or ""):match("^%s*(%S+)")
  local function bridge(words, timeout, fn)
    adb:AddAndroidCmd("adb_help.exe -s " .. quote(serial) .. " " .. words, 0, timeout, function(_, output)
      fn(tostring(output or ""))
    end)
  end

  local function forward(n)
    if n > #SOCKETS then return ready() end
    bridge("forward tcp:" .. (12299 + n) .. " localabstract:" .. SOCKETS[n], 10000, function(output)
      if output:find("error") then
        return stop("adb: port forwarding " .. n .. " failed (" .. first_line(output) .. "): another program may hold"
          .. " port " .. (12299 + n) .. "; close it or restart the debug bridge, then replug the phone")
      end
      forward(n + 1)
    end)
  end

  local function launch()
    bridge("shell " .. PHONE_PATH .. " --daemon", 30000, function(output)
      if not output:match("^%s*agent started %(") then
        return stop("adb: starting the agent failed (" .. first_line(output) .. "): unlock the phone and replug it;"
          .. " 'adb shell " .. PHONE_PATH .. " --self-test' tells what the phone allows")
      end
      print("agent started")
      step("forward", "agent started")
      forward(1)
    end)
  end

  local function push(abi)
    local binary = program_dir() .. "/agent/" .. abi .. "/mobrevist-agent"
    if not read_file(binary) then
      return stop("agent: no agent for the phone's processor (" .. abi .. ") in " .. binary
        .. "; reinstall the program")
    end
    bridge("push " .. quote(binary) .. " " .. PHONE_PATH, 120000, function(output)
      if not output:find("1 file pushed", 1, true) then
        return stop("adb: pushing the agent failed (" .. first_line(output) .. "): check that the phone has free"
          .. " storage, then replug it")
      end
      print("agent pushed")
      step("start", "agent pushed")
      bridge("shell chmod 755 " .. PHONE_PATH, 10000, function(chmod)
        if chmod:find("%S") then
          return stop("adb: making the agent runnable failed (" .. first_line(chmod) .. "): replug the phone")
        end
        launch()
      end)
    end)
  end

  bridge("shell getprop ro.product.cpu.abi", 10000, function(output)
    local reported = output:match("^%s*(%S+)") or ""
    local abi = ABIS[reported]
    if not abi then
      return stop("agent: the phone's processor (" .. text.clean(reported) .. ") is not one the agent is built for"
        .. " (arm64-v8a, armeabi-v7a, x86_64)")
    end
    bridge("shell " .. PHONE_PATH .. " --status", 10000, function(status)
      local running = status:match("^running (%S+)")
      if version and running == version then
        print("agent already running (version " .. version .. ")")
        step("forward", "agent already running (version " .. version .. ")")
        return forward(1)
      end
      push(abi)
    end)
  end)
end

return M
