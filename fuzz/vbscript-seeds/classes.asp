<%@ Language="VBScript" %>
<% Option Explicit
Class Point
  Private mX
  Public Property Get X : X = mX : End Property
  Public Property Let X(v) : mX = v : End Property
  Public Default Function Length(scale) : Length = Sqr(mX * mX) * scale : End Function
  Sub Class_Initialize : mX = 1 : End Sub
End Class
Dim p, i, a(3)
Set p = New Point
With p
  .X = 3
End With
For i = 0 To 3 Step 1 : a(i) = p(i) : Next
%>
<p><%= Join(a, ", ") %></p>
