-- Start-up helper "MenuHelper": nothing to prepare on this platform yet.
function RegisterObject()
end
