-- Start-up helper "HostWndHelper": nothing to prepare on this platform yet.
function RegisterObject()
end
