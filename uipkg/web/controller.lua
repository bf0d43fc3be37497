-- The web window's controller: page messages become the calls the console's commands
-- make, and changes of the shared model become messages to the pages. One format both
-- ways, JSON objects with "v" (the format's version) and "type"; README describes it.
local actions = require("web.actions")
local commands = require("console.commands")
local devices = require("console.devices")
local downloads = require("console.downloads")
local files = require("console.local_files")
local lists = require("web.lists")
local model = require("model.store")
local text = require("console.text")
local transfer = require("console.transfer")

local M = {}
M.VERSION = 1

local web = GetObject("WebUI.Manager")
local shell = GetObject("Win32Shell.Object")

local pages = {}    -- client -> true once it said hello
local uploads = {}  -- upload id -> { path, name, client }
local sent_at = {}  -- transfer id -> tick of the last progress message
M.PROGRESS_MS = 100 -- at most one progress message per transfer in this time

local function send(client, message)
  message.v = M.VERSION
  local encoded, why = web:Encode(message)
  if not encoded then return io.stderr:write("web: " .. tostring(why) .. "\n") end
  web:Send(client, encoded)
end

local function broadcast(message)
  if next(pages) then send(0, message) end
end

local function fail(client, line)
  send(client, { type = "error", text = line })
end

-- Where pulls go unless the page names a folder: the Downloads folder, else home.
local function pull_folder()
  local downloads_folder = files.expand("~/Downloads")
  return files.is_folder(downloads_folder) and downloads_folder or files.expand("~")
end

-- What a page may ask for.
local handlers = {}

function handlers.hello(client)
  pages[client] = true
  send(client, { type = "hello", client = client, upload = web:UploadUrl(client), phone = model.phone,
    steps = model.steps, transfers = model.transfer_list(), notices = model.notices, folder = pull_folder(),
    downloads = downloads.list(), devices = devices.list() })
end

-- { upload = id, folder = phone folder }: pushes a file the page uploaded.
function handlers.push(client, m)
  local u = uploads[tonumber(m.upload) or -1]
  if not u or u.client ~= client then return fail(client, "push: no such upload") end
  -- The page's texts end up in console lines and on the phone: no control characters.
  local folder = text.clean(type(m.folder) == "string" and m.folder or "")
  local problem = transfer.phone_path_problem(folder)
  if problem then return fail(client, "push: " .. problem) end
  uploads[tonumber(m.upload)] = nil
  local target = (folder:gsub("/+$", "")) .. "/" .. text.clean(u.name)
  print("web: push " .. text.clean(u.name) .. " to " .. target)
  transfer.push({ { u.path, target } }, function() os.remove(u.path) end)
end

function handlers.cancel()
  commands.cancel_all()
end

-- { list = name, refresh = bool }: reads the phone's list (and those a view of it needs).
function handlers.list(client, m)
  local needs = lists.NEEDS[m.list] or { m.list }
  for _, name in ipairs(needs) do
    if not lists.SOURCES[name] then return fail(client, "no list " .. text.clean(tostring(m.list))) end
    lists.load(name, m.refresh == true)
  end
end

-- { list, req, offset, count, query, thread, folder, sort, desc }: one page of rows.
function handlers.rows(client, m)
  local page = lists.page(tostring(m.list), m, m.offset, m.count)
  page.type, page.list, page.req, page.offset = "rows", m.list, m.req, tonumber(m.offset) or 0
  send(client, page)
end

-- { action, req, ... }: a change on the phone or the PC; answered with { type = "done" }.
handlers["do"] = function(client, m)
  actions.run(m, client, function(ok, line, extra)
    local reply = { type = "done", req = m.req, ok = ok == true, text = text.clean(line or "") }
    for k, v in pairs(extra or {}) do reply[k] = v end
    send(client, reply)
  end)
end

function handlers.downloads(client)
  send(client, { type = "downloads", downloads = downloads.list() })
end

-- The function given to WebUI.Manager:Start.
function M.on_message(client, message, source)
  if message == nil then
    pages[client] = nil
    return
  end
  local m = web:Decode(message)
  if type(m) ~= "table" then return end
  if source == "upload" then
    -- The server's own notice of a finished upload (a page cannot send one).
    uploads[m.upload] = { path = m.path, name = m.name, client = client }
    return
  end
  local handler = type(m.type) == "string" and handlers[m.type]
  if not handler then return fail(client, "unknown message type " .. tostring(m.type)) end
  if m.v ~= nil and m.v ~= M.VERSION then return fail(client, "message version " .. tostring(m.v) .. " is not " .. M.VERSION) end
  handler(client, m)
end

-- An upload the page made, for the actions that use one (an .apk to install).
function actions.take_upload(client, id)
  id = tonumber(id) or -1
  local u = uploads[id]
  if not u or u.client ~= client then return nil end
  uploads[id] = nil
  return { id = id, path = u.path, name = u.name }
end

function actions.offer(path, name)
  return web:Offer(path, name)
end

-- A phone came or went: the pages' device list follows.
devices.on_change(function() broadcast({ type = "devices", devices = devices.list() }) end)

-- A list changed (read, growing, or changed on the phone): the pages ask again for what
-- they show.
lists.on_change(function(name, l)
  broadcast({ type = "list", list = name, state = l.state, total = #l.rows, version = l.version,
    text = l.text and text.clean(l.text) or nil })
end)

local phone_connected = model.phone.connected
model.observe(function(kind, value)
  if kind == "transfer" then
    -- Progress is sent at most every PROGRESS_MS per transfer; the first and last always.
    local now = shell:GetTickCount()
    if value.state == "running" and sent_at[value.id] and now - sent_at[value.id] < M.PROGRESS_MS then return end
    sent_at[value.id] = value.state == "running" and now or nil
    return broadcast({ type = "transfer", transfer = value })
  end
  if kind == "phone" then
    -- The lists read belong to the phone that was connected.
    if value.connected ~= phone_connected then lists.forget() end
    phone_connected = value.connected
    return broadcast({ type = "phone", phone = value })
  end
  if kind == "steps" then return broadcast({ type = "steps", steps = value }) end
  if kind == "notice" then return broadcast({ type = "notice", notice = value }) end
  if kind == "download" then return broadcast({ type = "downloads", downloads = downloads.list() }) end
end)

-- Starts serving; prints the opening link and, unless told not to, opens it in the
-- desktop's browser. Returns the link, or nil.
function M.start(open_browser)
  local url, why = web:Start(M.on_message)
  if not url then
    print(text.clean("web UI: not started: " .. tostring(why)))
    return nil
  end
  print("web UI: " .. url)
  if open_browser and not web:OpenBrowser(url) then
    print("web UI: no desktop browser to open it in; open the link above yourself")
  end
  return url
end

return M
