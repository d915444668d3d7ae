// One step of the tour in the second script engine, JScript: the driver by its ProgID, the register's status
// and its mode text. The last line is "JSCRIPT OK" when it passed.
//   cscript //nologo step.js PORT
var d = new ActiveXObject("Addin.TesselDriver");
d.PortNumber = parseInt(WScript.Arguments(0), 10);
var result = d.GetECRStatus();
var mode = d.ECRModeDescription;
WScript.Echo("GetECRStatus = " + result + ", ECRModeDescription = " + mode);
if (result === 0 && mode === "режим программирования") WScript.Echo("JSCRIPT OK");
