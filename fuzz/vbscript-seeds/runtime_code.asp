<%
Function Twice(n) : Twice = n * 2 : End Function
Class Box
  Public v
  Function Peek : Peek = Eval("v + 1") : End Function
End Class
x = Eval("Twice(3) + Len(""ab"")")
Execute "y = x & ""!"" : Dim z : z = 4"
ExecuteGlobal "Class Made : Public w : End Class : Function Thrice(n) : Thrice = n * 3 : End Function"
Set m = New Made : m.w = Thrice(2)
Set f = GetRef("Twice") : r = f(5)
Set b = New Box : b.v = 9 : p = b.Peek
Sub Local : Execute "q = 1 : With Me : End With" : End Sub
On Error Resume Next
Execute "If"
Local
Response.Write x & y & m.w & r & p & Eval("z")
%>
