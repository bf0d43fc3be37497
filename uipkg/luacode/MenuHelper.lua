-- Start-up helper "MenuHelper". The host runs its five start-up scripts (GlobalMacro,
-- CreateFileAssociation, HostWndHelper, KeyHelper, MenuHelper) by name and in that order at
-- every start; this one has nothing to prepare on this platform and is kept so that the
-- order stays complete.
function RegisterObject()
end
