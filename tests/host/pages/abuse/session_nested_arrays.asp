<% For i = 1 To 100 : a = Array(a) : Next : Session("a") = a %>
