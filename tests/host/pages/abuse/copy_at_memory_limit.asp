<%
' Copies of a string most of the page's memory long: assignments share it,
' and the one copy that cannot be made raises 7 and leaves its target as
' it was.
s = Space(40000000)
t = s
u = "old"
On Error Resume Next
u = s & "x"
Response.Write Err.Number & "|" & u & "|"
Err.Clear
Set d = Server.CreateObject("Scripting.Dictionary")
d("k") = s
d.Add "k2", t
Response.Write d.Count & "|" & Err.Number
%>
