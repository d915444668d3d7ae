' The driver through Wine's VBScript host, as a point-of-sale script drives it: created by its ProgID, then
' status, device metrics, a table cell read and written, two cash registers, the time of one exchange, the
' property frame and the about box closed by their OK, and a port with nothing behind it. Every step prints
' "ok" or "FAIL"; the last line is "TOUR OK" when all passed (the host reports no script error in its status:
' the line is the proof).
'   cscript //nologo tour.vbs PORT NOTHING_PORT VERSION PRESS_BUTTON_EXE
' Saved in the system's ANSI code page (1251): the script host reads it so.
Option Explicit

Dim failures
failures = 0

Sub Check(what, actual, expected)
    If CStr(actual) = CStr(expected) Then
        WScript.Echo "ok " & what & " = " & actual
    Else
        WScript.Echo "FAIL " & what & " = " & actual & ", expected " & expected
        failures = failures + 1
    End If
End Sub

Dim d, port, nothingPort, pressButton, i, started, calls
port = CInt(WScript.Arguments(0))
nothingPort = CInt(WScript.Arguments(1))
pressButton = WScript.Arguments(3)
Set d = CreateObject("Addin.TesselDriver")
Check "Version", d.Version, WScript.Arguments(2)
d.PortNumber = port

Check "GetECRStatus", d.GetECRStatus(), 0
Check "ResultDescription", d.ResultDescription, "Ошибок нет"
Check "ECRModeDescription", d.ECRModeDescription, "режим программирования"

Check "GetDeviceMetrics", d.GetDeviceMetrics(), 0
Check "UDescription", d.UDescription, "Эмулятор ККМ"

' Table 2, the cashiers: row 1 is the first cashier's, field 2 the name.
d.TableNumber = 2
d.RowNumber = 1
d.FieldNumber = 2
Check "ReadTable", d.ReadTable(), 0
Check "FieldValue", d.FieldValue, "Кассир 1"
d.FieldType = 1
d.FieldValue = "Кассир Петров"
Check "WriteTable", d.WriteTable(), 0
d.FieldValue = ""
Check "ReadTable after WriteTable", d.ReadTable(), 0
Check "FieldValue after WriteTable", d.FieldValue, "Кассир Петров"

' Two money registers that the emulator's model holds (in hundredths: 12345 and 700).
For Each i In Array(Array(241, 12345), Array(242, 700))
    d.RegisterNumber = i(0)
    Check "GetCashReg " & i(0), d.GetCashReg(), 0
    Check "CashRegister " & i(0) & " in hundredths", d.CashRegister * 100, i(1)
Next

' Reported, not checked: the time of one status exchange through the whole COM path.
calls = 20
started = Timer
For i = 1 To calls
    d.GetECRStatus
Next
WScript.Echo "TIME GetECRStatus " & Round((Timer - started) * 1000 / calls, 2) & " ms"

' The dialogs, as a person closes them: a helper program presses OK (IDOK, whatever the locale calls it) in
' the property frame, then in the about box, while the member waits in the window's modal loop.
Dim shell
Set shell = CreateObject("WScript.Shell")
shell.Run """" & pressButton & """ ""Драйвер ККМ"" #1 60", 0, False
Check "ShowProperties", d.ShowProperties(), 0
shell.Run """" & pressButton & """ ""О программе"" #1 60", 0, False
d.AboutBox
Check "ResultCode after AboutBox", d.ResultCode, 0

d.PortNumber = nothingPort
Check "GetECRStatus on a port with nothing behind it", d.GetECRStatus(), -3
Check "its ResultDescription", d.ResultDescription, "Порт недоступен"

Set d = Nothing
If failures = 0 Then WScript.Echo "TOUR OK"
