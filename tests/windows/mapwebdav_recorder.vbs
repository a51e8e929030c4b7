' Stands in for the deployment's mapping script in the Windows tests: records how the
' script host ran it (host, working folder, script path) in a file of its own in the
' folder named by CORVANE_STANDIN_RECORDS, in the stand-in program's record format.
Set fso = CreateObject("Scripting.FileSystemObject")
Set shell = CreateObject("WScript.Shell")
folder = shell.Environment("PROCESS")("CORVANE_STANDIN_RECORDS")
name = folder & "\record-" & fso.GetBaseName(fso.GetTempName())
Set record = fso.CreateTextFile(name & ".tmp", True)
record.WriteLine "program=" & WScript.FullName
record.WriteLine "cwd=" & shell.CurrentDirectory
record.WriteLine "arg=" & WScript.ScriptFullName
record.Close
fso.MoveFile name & ".tmp", name & ".txt"
