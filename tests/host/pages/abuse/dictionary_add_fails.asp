<%
' Fills a dictionary until an Add fails for memory, with most of the page's
' memory taken first: the dictionary stays whole, and a later write to the
' failed key adds it properly.
ballast = Space(52000000)
Set d = Server.CreateObject("Scripting.Dictionary")
On Error Resume Next
i = 0
Do
  i = i + 1
  d.Add i, i
Loop While Err.Number = 0
failed = Err.Number
Err.Clear
ballast = Empty
d(i) = "late"
Response.Write failed & "|" & (d.Count = i) & "|" & d(i)
%>
