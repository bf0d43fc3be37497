-- What a page may ask the program to do ({ type = "do", action = ..., req = n, ... }): the
-- same calls the console's commands make. Each ends with done(ok, line), the console's own
-- sentence, which the controller sends back to the page that asked; a change the phone
-- confirmed is also made to the window's copy of the list.
local commands = require("console.commands")
local lists = require("web.lists")
local phone = require("console.phone_actions")
local apps = require("console.phone_apps")
local agent = require("console.agent")
local backup = require("console.backup")
local bridge = require("console.bridge")
local devices = require("console.devices")
local downloads = require("console.downloads")
local settings = require("web.settings")
local thumbs = require("web.thumbs")
local update = require("console.update")
local files = require("console.local_files")
local text = require("console.text")
local transfer = require("console.transfer")

local M = {}

local shell = GetObject("Win32Shell.Object")

-- The host's temporary folder, without a trailing slash.
local function temp_dir() return (tostring(shell:GetTmpDir() or "/tmp"):gsub("/+$", "")) end

local function str(v) return type(v) == "string" and v or (type(v) == "number" and tostring(v) or "") end

-- Runs a console command with its arguments (each quoted as one word) and ends with its
-- lines: the commands that answer at once (downloads, backups) need nothing more.
local function command(name, words, done)
  local quoted = {}
  for i, w in ipairs(words) do
    if w:find('"', 1, true) then return done(false, name .. ": a double quote cannot be passed on") end
    quoted[i] = '"' .. w .. '"'
  end
  local ok, lines = commands.capture(name, table.concat(quoted, " "))
  done(ok, table.concat(lines, "\n"))
end

-- The end of a change: on_ok() when the phone made it (the window's copy of the list
-- follows), always() in any case, then done with the console's line.
local function and_then(done, on_ok, always)
  return function(ok, line)
    if always then always() end
    if ok then on_ok() end
    done(ok, line)
  end
end

-- Each action: fn(m, done, client) with m the page's message.
local actions = {}

actions["contact-add"] = function(m, done)
  local name, number = text.clean(str(m.name)), text.clean(str(m.number))
  -- The agent's reply names no id: the list is read again to show the new contact.
  phone.add_contact(name, number, and_then(done, function() lists.load("contacts", true) end))
end

actions["contact-delete"] = function(m, done)
  local id = str(m.id)
  phone.delete_contact(id, and_then(done, function() lists.remove("contacts", function(r) return r.id == id end) end))
end

actions["sms-send"] = function(m, done)
  phone.send_sms(text.clean(str(m.number)), str(m.text), and_then(done, function() lists.load("sms", true) end))
end

actions["sms-delete"] = function(m, done)
  local id = tonumber(m.id)
  if not id then return done(false, "delete-sms: no message chosen") end
  phone.delete_sms(id, and_then(done, function() lists.remove("sms", function(r) return r.id == id end) end))
end

actions["thread-read"] = function(m, done)
  local thread = tonumber(m.thread)
  if not thread then return done(false, "read: no thread chosen") end
  phone.mark_read(thread, and_then(done, function()
    lists.update("sms", function(r) return r.thread == thread end, function(r) r.read = true end)
  end))
end

actions["app-uninstall"] = function(m, done)
  local package = str(m.package)
  apps.uninstall(package, and_then(done, function()
    lists.remove("apps", function(r) return r.package == package end)
  end))
end

-- Installs an .apk the page uploaded (see the controller's uploads).
actions["app-install"] = function(m, done, client)
  local u = M.take_upload(client, m.upload)
  if not u then return done(false, "install: the file did not arrive; drop it again") end
  -- The bridge installs by path and the phone's answer names the file: it keeps its name.
  local path = string.format("%s/install-%d-%s", temp_dir(), u.id, (text.clean(u.name):gsub("/", "_")))
  if not os.rename(u.path, path) then
    os.remove(u.path)
    return done(false, "install: cannot prepare " .. text.clean(u.name) .. " in the temporary folder")
  end
  apps.install(path, and_then(done, function() lists.load("apps", true) end, function() os.remove(path) end))
end

actions["ringtone"] = function(m, done)
  local path = str(m.path)
  phone.set_ringtone(path, and_then(done, function()
    lists.update("music", function() return true end, function(r) r.ring = r.path == path end)
  end))
end

-- The lists that name phone files; a deleted file leaves them all.
local FILE_LISTS = { "music", "photos", "videos", "documents" }

-- Deletes the chosen phone files one after the other. Each the phone deleted leaves the
-- window's lists; the line says how many went and why the others did not.
actions["delete-files"] = function(m, done)
  local paths = {}
  for _, p in ipairs(type(m.paths) == "table" and m.paths or {}) do paths[#paths + 1] = str(p) end
  if #paths == 0 then return done(false, "delete: no file chosen") end
  local deleted, failure = 0, nil
  local function from(i)
    if i > #paths then
      if not failure then
        return done(true, #paths == 1 and "deleted " .. paths[1] or string.format("deleted %d files", deleted))
      end
      return done(false, deleted == 0 and failure or string.format("deleted %d of %d; %s", deleted, #paths, failure))
    end
    phone.delete_file(paths[i], function(ok, line)
      if ok then
        deleted = deleted + 1
        for _, name in ipairs(FILE_LISTS) do lists.remove(name, function(r) return r.path == paths[i] end) end
      else
        failure = line
      end
      from(i + 1)
    end)
  end
  from(1)
end

-- Makes a folder of the given name in the phone folder shown.
actions["folder-make"] = function(m, done)
  local name, parent = str(m.name):match("^%s*(.-)%s*$"), (str(m.folder):gsub("/+$", ""))
  if name == "" or name == "." or name == ".." or name:find("[/%c]") then
    return done(false, "new folder: '" .. text.clean(name) .. "' is no folder name (no /, not . or ..)")
  end
  local path = parent .. "/" .. name
  phone.make_folder(path, and_then(done, function() lists.add("folders", { path = path }) end))
end

-- Pulls the chosen phone paths into a local folder; the transfers show their progress.
actions["pull"] = function(m, done)
  local paths = {}
  for _, p in ipairs(type(m.paths) == "table" and m.paths or {}) do paths[#paths + 1] = str(p) end
  local folder = commands.local_path(str(m.folder))
  local problem = transfer.pull(paths, folder)
  if problem then return done(false, problem) end
  done(true, string.format("pulling %d file%s into %s", #paths, #paths == 1 and "" or "s", folder))
end

-- Opens the folder that holds a download (by its id: the page names no local path) in the
-- desktop's file manager.
actions["open-folder"] = function(m, done)
  local path
  for _, d in ipairs(downloads.list()) do
    if d.id == tonumber(m.id) then path = d.path end
  end
  if not path then return done(false, "no download " .. text.clean(str(m.id)) .. " ('downloads' lists them)") end
  local folder = path:match("^(.*)/[^/]*$")
  if not folder or folder == "" or not files.is_folder(folder) then
    return done(false, "open: the folder of " .. path .. " is not there any more")
  end
  -- The desktop's opener gives no answer: the line says what was asked of it.
  shell:OpenDir(folder)
  done(true, "asked the desktop to show " .. folder)
end

actions["choose-folder"] = function(m, done)
  local folder = shell:FolderDialog("Choose a folder", commands.local_path(str(m.folder)))
  done(folder ~= nil and folder ~= "", folder or "")
end

actions["download"] = function(m, done)
  local words = { str(m.url) }
  if str(m.file) ~= "" then words[2] = str(m.file) end
  command("download", words, done)
end
for _, name in ipairs({ "stop", "resume", "cancel" }) do
  actions[name] = function(m, done) command(name, { str(m.id) }, done) end
end

actions["backup"] = function(m, done) backup.backup(str(m.title) ~= "" and text.clean(str(m.title)) or "contacts", done) end
actions["restore"] = function(m, done)
  backup.restore(str(m.name), function(ok, line)
    lists.load("contacts", true)
    done(ok, line)
  end)
end
actions["backups"] = function(_, done)
  local all = {}
  for i, b in ipairs(backup.backups()) do all[i] = { name = b.name, title = text.clean(tostring(b.title or "")) } end
  done(true, string.format("%d backups", #all), { backups = all })
end

-- Adds the contacts of a CSV file the page uploaded (dropped on the contacts view).
actions["contact-import"] = function(m, done, client)
  local u = M.take_upload(client, m.upload)
  if not u then return done(false, "import: the file did not arrive; drop it again") end
  backup.import(u.path, function(ok, line)
    os.remove(u.path)
    lists.load("contacts", true)
    local at = line:find(u.path, 1, true)
    if at then line = line:sub(1, at - 1) .. text.clean(u.name) .. line:sub(at + #u.path) end
    done(ok, line)
  end)
end

-- Changes a contact: the phone is given the new one first, then loses the old one, so a
-- refused change leaves the contact as it was.
actions["contact-edit"] = function(m, done)
  local id, name, number = str(m.id), text.clean(str(m.name)), text.clean(str(m.number))
  phone.add_contact(name, number, function(added, line)
    if not added then return done(false, line) end
    phone.delete_contact(id, function(deleted, why)
      lists.load("contacts", true)
      if not deleted then return done(false, line .. "; but the old contact stays: " .. why) end
      done(true, string.format("contact %s changed to %s %s", id, name, number))
    end)
  end)
end

actions["update-check"] = function(_, done)
  update.check(function(ok, line, offer) done(ok, line, offer and { offer = offer } or nil) end)
end
actions["update-install"] = function(m, done) update.install(str(m.url), str(m.version), done) end

actions["reconnect"] = function(m, done)
  local serial = str(m.serial)
  for _, s in ipairs(devices.serials()) do
    if s == serial then
      bridge.connect(serial, agent.connect)
      return done(true, "connecting to " .. serial .. " again")
    end
  end
  done(false, "no phone " .. text.clean(serial) .. " is attached: plug it in again")
end

-- A photo's thumbnail: { path, size, date } as the photo list gives them.
actions["thumb"] = function(m, done)
  local problem = transfer.phone_path_problem(str(m.path))
  if problem then return done(false, "thumbnail: " .. problem) end
  thumbs.get(str(m.path), tonumber(m.size) or 0, tonumber(m.date) or 0, M.offer, done)
end

-- An app's icon: { package, version } as the app list gives them.
actions["icon"] = function(m, done)
  if str(m.package) == "" then return done(false, "icon: no app named") end
  thumbs.icon(str(m.package), str(m.version), M.offer, done)
end

-- A video's thumbnail or a song's cover: { path, size } as the lists give them.
actions["video-thumb"] = function(m, done)
  if str(m.path) == "" then return done(false, "thumbnail: no video named") end
  thumbs.video(str(m.path), tonumber(m.size) or 0, M.offer, done)
end
actions["cover"] = function(m, done)
  if str(m.path) == "" then return done(false, "cover: no song named") end
  thumbs.cover(str(m.path), tonumber(m.size) or 0, M.offer, done)
end

actions["settings"] = function(_, done) done(true, "", { settings = settings.read() }) end
actions["settings-save"] = function(m, done) done(settings.write(type(m.settings) == "table" and m.settings or {})) end

-- Writes the phone's SMS or contacts as CSV into the temporary folder and offers the file
-- to the pages as a download.
actions["export"] = function(m, done)
  local what = m.what == "contacts" and "contacts" or "sms"
  local path = string.format("%s/%s-%s.csv", temp_dir(), what, os.date("!%Y-%m-%d_%H-%M-%S"))
  local function offered(ok, line)
    if not ok then return done(false, line) end
    local url = M.offer(path, what .. ".csv")
    if not url then return done(false, "export: the file cannot be offered to the window") end
    done(true, line, { url = url })
  end
  if what == "sms" then backup.export_sms(path, true, offered) else backup.export_contacts(path, offered) end
end

-- Runs the action a page asked for; done(ok, line, extra).
function M.run(m, client, done)
  local action = actions[str(m.action)]
  if not action then return done(false, "unknown action " .. text.clean(str(m.action))) end
  action(m, done, client)
end

return M
