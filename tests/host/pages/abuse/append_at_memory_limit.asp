<%
' A string grown by appending to itself until the page's memory runs out:
' the append that cannot be made raises 7 and leaves the string as it was.
t = Space(1000000)
On Error Resume Next
Do
  before = Len(t)
  t = t & t & "x"
Loop Until Err.Number <> 0
Response.Write Err.Number & "|" & (Len(t) = before)
%>
