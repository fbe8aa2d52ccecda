<%
' A page that loops forever where every error is ignored.
On Error Resume Next
Do
  x = 1 / 0
Loop
%>
