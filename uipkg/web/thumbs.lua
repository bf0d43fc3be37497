-- Pictures of the phone's things for the window. Photos: the agent has no thumbnails to
-- give, so a photo is pulled into the temporary folder and drawn small on the PC. Apps: the
-- agent offers the icon out of the app's package where it can; videos: the thumbnail the
-- phone's media store keeps, where it keeps one; songs: the cover in their tags. Each is kept in the
-- profile folder under a name made of what it shows (the photo's path, size and date; the
-- app's package and version), so a changed photo or an updated app gets a new one. At
-- most RUNNING pulls run at a time; the page asks only for the rows it shows.
local transfer = require("console.transfer")

local M = {}

local app = GetObject("AppHelp.Object")
local icons = GetObject("IconManager.Manager")
local files = require("console.local_files")

M.SIZE = 96
M.RUNNING = 4

local running, waiting = 0, {}
local offered = {}  -- cache file -> url the pages know it by

-- Two FNV-1a hashes of the text, as 16 hex digits.
local function key_of(text)
  local a, b = 2166136261, 84696351
  for i = 1, #text do
    local c = text:byte(i)
    a = bit.tobit(bit.bxor(a, c) * 16777619)
    b = bit.tobit(bit.bxor(b, c) * 16777619)
  end
  return bit.tohex(a) .. bit.tohex(b)
end

local dirs = GetObject("kit.filesystem.dir_utility")

-- The cache folder in the profile folder (made when missing); nil when it cannot be made.
local function folder()
  local f = app:GetProfileDir() .. "thumbs"
  if files.is_folder(f) or dirs:make_dir_tree(f) then return f end
end

local function offer(job)
  local cache, done = job.cache, job.done
  if not offered[cache] then offered[cache] = job.offer(cache, job.name or "thumb.jpg") end
  if not offered[cache] then return done(false, "the thumbnail cannot be offered to the window") end
  done(true, "", { url = offered[cache] })
end

local start

local function finished()
  running = running - 1
  local next_one = table.remove(waiting, 1)
  if next_one then start(next_one) end
end

start = function(job)
  running = running + 1
  if job.run then return job.run() end
  local pulled = job.cache .. ".pulled"
  transfer.pull_quietly(job.path, pulled, function(ok)
    if not ok then
      finished()
      return job.done(false, "the photo could not be copied from the phone")
    end
    local queued = icons:MakeThumbnail(pulled, job.cache, M.SIZE, function(result)
      os.remove(pulled)
      finished()
      if result ~= 0 then return job.done(false, "the photo could not be drawn small") end
      offer(job)
    end)
    if not queued then
      os.remove(pulled)
      finished()
      job.done(false, "the photo could not be drawn small")
    end
  end)
end

local function queue(job)
  if running < M.RUNNING then start(job) else waiting[#waiting + 1] = job end
end

-- The thumbnail of a phone photo, made available to the pages by offer(file, name) -> url;
-- done(ok, line, { url = ... }).
function M.get(path, size, date, offer_file, done)
  local dir = folder()
  if not dir then return done(false, "the profile folder has no room for thumbnails") end
  local cache = string.format("%s/%s.jpg", dir, key_of(path .. "\0" .. tostring(size) .. "\0" .. tostring(date)))
  local job = { path = path, cache = cache, done = done, offer = offer_file }
  if files.exists(cache) then return offer(job) end
  queue(job)
end

-- The name a picture file is offered under, from its first bytes; nil when it is none the
-- window can show.
local function picture_name(file)
  local f = io.open(file, "rb")
  if not f then return nil end
  local head = f:read(12) or ""
  f:close()
  if head:sub(1, 8) == "\137PNG\r\n\26\n" then return "icon.png" end
  if head:sub(1, 4) == "RIFF" and head:sub(9, 12) == "WEBP" then return "icon.webp" end
  if head:sub(1, 3) == "\255\216\255" then return "icon.jpg" end
end

local offers_none = {}  -- key -> true: the phone gave no picture for that thing

-- A picture the phone's agent makes of one thing (pulled by its name with method), kept in
-- the profile folder under key_text; done(ok, line, { url = ... }). A thing the phone has
-- none for is asked for again only once key_text changes (a new version, size or date).
local function phone_picture(key_text, subject, method, what, offer_file, done)
  local dir = folder()
  if not dir then return done(false, "the profile folder has no room for " .. what .. "s") end
  local key = key_of(key_text)
  local none = "the phone offers no " .. what .. " for " .. subject
  if offers_none[key] then return done(false, none) end
  local cache = string.format("%s/%s.icon", dir, key)
  local job = { cache = cache, done = done, offer = offer_file, name = picture_name(cache) }
  if job.name then return offer(job) end
  job.run = function()
    local pulled = cache .. ".pulled"
    transfer.pull_quietly(subject, pulled, function(ok)
      finished()
      local name = ok and picture_name(pulled)
      if name then os.remove(cache) end  -- a file there that was no picture
      if not name or not os.rename(pulled, cache) then
        os.remove(pulled)
        if ok then offers_none[key] = true end
        return done(false, ok and none or "the " .. what .. " could not be copied from the phone")
      end
      job.name = name
      offer(job)
    end, method)
  end
  queue(job)
end

-- The icon of an installed app, as the phone's agent offers it out of the app's package.
function M.icon(package, version, offer_file, done)
  phone_picture("icon\0" .. package .. "\0" .. version, package, "GetIconTask", "icon", offer_file, done)
end

-- The cover picture in a song's tags, as the phone's agent finds it. Only MP3 files carry the
-- tags the agent reads: other songs are not asked for (the agent would send them whole).
function M.cover(path, size, offer_file, done)
  if not path:lower():match("%.mp3$") then return done(false, "the phone offers no cover for " .. path) end
  phone_picture("cover\0" .. path .. "\0" .. tostring(size), path, "GetCompressPic", "cover", offer_file, done)
end

-- The thumbnail the phone keeps of a video, where it keeps one (the PC decodes no video).
function M.video(path, size, offer_file, done)
  phone_picture("video\0" .. path .. "\0" .. tostring(size), path, "GetVideoShot", "thumbnail", offer_file, done)
end

return M
